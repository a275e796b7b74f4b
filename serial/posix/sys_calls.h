// The one seam between the platform layer and the kernel. Every system call goes
// through the table returned by sysCalls(), so tests can swap in a table of their own
// to inject EINTR, short transfers and failures that a pseudo-terminal cannot show.
// The wrappers below retry EINTR and report the cause as an errno value.
#pragma once

#include <poll.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <termios.h>

#include <cstddef>

struct SysCalls {
    int (*open)(const char* path, int flags);
    int (*close)(int fd);
    ssize_t (*read)(int fd, void* buffer, std::size_t count);
    ssize_t (*write)(int fd, const void* buffer, std::size_t count);
    int (*poll)(pollfd* fds, nfds_t count, int timeoutMs);
    int (*ioctl)(int fd, unsigned long request, void* argument);
    int (*flock)(int fd, int operation);
    int (*tcgetattr)(int fd, termios* settings);
    int (*tcsetattr)(int fd, int when, const termios* settings);
    int (*tcflush)(int fd, int queue);
    int (*stat)(const char* path, struct stat* info);
    int (*eventfd)(unsigned initialValue, int flags);
};

// The table in force: the real calls unless a test has replaced it.
const SysCalls& sysCalls();
// The table of real calls, for tests that replace only some entries.
const SysCalls& realSysCalls();
// Puts `table` in force (it must outlive its use); nullptr restores the real calls.
void replaceSysCalls(const SysCalls* table);

// Outcome of one non-blocking transfer.
enum class IoOutcome { Moved, WouldBlock, EndOfFile, Failed };
struct IoResult {
    IoOutcome outcome;
    std::size_t bytes;  // bytes moved when outcome is Moved
    int error;          // errno when outcome is Failed
};

// One read of at most `count` bytes from a non-blocking descriptor.
IoResult readSome(int fd, void* buffer, std::size_t count);
// One write of at most `count` bytes to a non-blocking descriptor.
IoResult writeSome(int fd, const void* buffer, std::size_t count);

// The calls below return 0 on success or the errno of the failure.
int sysOpen(const char* path, int flags, int& fd);
int sysClose(int fd);
int sysPoll(pollfd* fds, nfds_t count, int timeoutMs, int& ready);
int sysFlock(int fd, int operation);
int sysTcgetattr(int fd, termios& settings);
int sysTcsetattr(int fd, const termios& settings);
int sysTcflush(int fd, int queue);
int sysStat(const char* path, struct stat& info);
int sysEventfd(int& fd);
