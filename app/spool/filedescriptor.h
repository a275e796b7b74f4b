// An owned file descriptor and whole-file reads for the spool's files.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }

private:
    int fd_;
};

// The whole content of the open file `fd`. Throws std::system_error naming `path`.
std::vector<std::uint8_t> readwhole(int fd, const std::string& path);

// Fills `bytes` from `offset` of `fd` as far as the file goes; returns how many bytes there
// were. Throws std::system_error naming `path`.
std::size_t readat(int fd, std::vector<std::uint8_t>& bytes, std::uint64_t offset, const std::string& path);

// Writes all of `size` bytes at `offset`. Returns 0, or the errno of the failure (ENOSPC
// for a write that stopped short).
int writeat(int fd, const void* data, std::size_t size, std::uint64_t offset);

// Writes what `fd` holds through to the disk. Returns 0, or the errno of the failure.
int syncdata(int fd);
