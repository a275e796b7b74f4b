// A small file that readers only ever see whole: each version is written beside it and
// renamed over it. Anyone may read it (mode 0644, whatever the umask).
#pragma once

#include <string>

class AtomicFile {
public:
    // `what` names the file in messages, e.g. "status file".
    AtomicFile(std::string path, std::string what)
        : path_(std::move(path)), what_(std::move(what)) {}

    // Replaces the file's content with `text`. The first failure is said on standard
    // error with its cause, and again after the file has been written since.
    void write(const std::string& text);

private:
    std::string path_;
    std::string what_;
    bool failing_ = false;
};
