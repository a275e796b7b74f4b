// The one seam between the spool's files and the kernel. The journal and the file helpers
// make every file system call through the table returned by spoolfilecalls(), so a test can
// swap in a table of its own to make a write or fdatasync fail as a failing disk does.
#pragma once

#include <sys/types.h>

#include <cstddef>

struct SpoolFileCalls {
    int (*open)(const char* path, int flags, mode_t mode);
    ssize_t (*read)(int fd, void* buffer, std::size_t count);
    ssize_t (*pread)(int fd, void* buffer, std::size_t count, off_t offset);
    ssize_t (*pwrite)(int fd, const void* buffer, std::size_t count, off_t offset);
    int (*fdatasync)(int fd);
    int (*ftruncate)(int fd, off_t length);
    int (*unlink)(const char* path);
};

// The table in force: the real calls unless a test has replaced it.
const SpoolFileCalls& spoolfilecalls();
// The table of real calls, for tests that replace only some entries.
const SpoolFileCalls& realspoolfilecalls();
// Puts `table` in force (it must outlive its use); nullptr restores the real calls.
void replacespoolfilecalls(const SpoolFileCalls* table);
