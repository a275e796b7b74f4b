// A directory of a test's own, so that concurrent runs never share a file; it is removed
// with everything in it when the test is done.
#pragma once

#include <string>

class ScratchDir {
public:
    // Creates a fresh directory under the test framework's temporary directory; throws
    // std::system_error when it cannot.
    ScratchDir();
    ~ScratchDir();

    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // `name` inside the directory.
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};
