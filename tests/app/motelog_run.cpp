#include "motelog_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <system_error>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void throwerrno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

std::vector<std::string> mergedenvironment(const std::vector<std::string>& overrides) {
    std::map<std::string, std::string> merged;
    auto add = [&merged](const std::string& entry) {
        const auto equals = entry.find('=');
        if (equals == std::string::npos)
            merged.erase(entry);
        else
            merged[entry.substr(0, equals)] = entry;
    };
    for (char** entry = environ; *entry; ++entry) add(*entry);
    for (const std::string& entry : overrides) add(entry);
    std::vector<std::string> result;
    for (const auto& item : merged) result.push_back(item.second);
    return result;
}

std::chrono::milliseconds left(Clock::time_point deadline) {
    const auto remaining =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return remaining.count() > 0 ? remaining : std::chrono::milliseconds(0);
}

}  // namespace

MotelogRun::MotelogRun(const std::string& program, const std::vector<std::string>& environment) {
    int outpipe[2];
    int errpipe[2];
    if (pipe2(outpipe, O_CLOEXEC) != 0) throwerrno("pipe");
    if (pipe2(errpipe, O_CLOEXEC) != 0) throwerrno("pipe");

    const std::vector<std::string> entries = mergedenvironment(environment);
    std::vector<char*> envp;
    for (const std::string& entry : entries) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};

    pid_ = fork();
    if (pid_ < 0) throwerrno("fork");
    if (pid_ == 0) {
        dup2(outpipe[1], STDOUT_FILENO);
        dup2(errpipe[1], STDERR_FILENO);
        // The test's own descriptors (the pty master above all) must not live on in the
        // child, or closing them in the test would not hang up the line.
        close_range(3, ~0u, 0);
        execve(program.c_str(), argv, envp.data());
        _exit(127);
    }
    close(outpipe[1]);
    close(errpipe[1]);
    outfd_ = outpipe[0];
    errfd_ = errpipe[0];
}

MotelogRun::~MotelogRun() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (outfd_ >= 0) close(outfd_);
    if (errfd_ >= 0) close(errfd_);
}

bool MotelogRun::pump(std::chrono::milliseconds wait) {
    pollfd fds[2] = {{outfd_, POLLIN, 0}, {errfd_, POLLIN, 0}};
    if (outfd_ < 0 && errfd_ < 0) return false;
    const int ready = poll(fds, 2, static_cast<int>(wait.count()));
    if (ready < 0 && errno != EINTR) throwerrno("poll");
    if (ready <= 0) return true;
    int* fd[2] = {&outfd_, &errfd_};
    std::string* text[2] = {&out_, &err_};
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || fds[i].revents == 0) continue;
        char buffer[4096];
        const ssize_t n = read(*fd[i], buffer, sizeof buffer);
        if (n > 0) {
            text[i]->append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            close(*fd[i]);
            *fd[i] = -1;
        }
    }
    return true;
}

bool MotelogRun::waitforoutput(const std::string& text, std::chrono::milliseconds timeout) {
    return waitforoccurrences(text, 1, timeout);
}

bool MotelogRun::waitforoccurrences(const std::string& text, std::size_t count,
                                    std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        std::size_t found = 0;
        for (auto at = out_.find(text); at != std::string::npos && found < count;
             at = out_.find(text, at + text.size()))
            ++found;
        if (found >= count) return true;
        if (Clock::now() >= deadline || !pump(left(deadline))) return false;
    }
}

int MotelogRun::stop(int signal, std::chrono::milliseconds timeout) {
    if (pid_ > 0) kill(pid_, signal);
    return reap(timeout);
}

int MotelogRun::waitforexit(std::chrono::milliseconds timeout) { return reap(timeout); }

int MotelogRun::reap(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline && pump(left(deadline))) {
    }
    while (pid_ > 0) {
        int status = 0;
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            pid_ = -1;
            if (WIFEXITED(status)) return WEXITSTATUS(status);
            return 128 + WTERMSIG(status);
        }
        if (Clock::now() >= deadline) return -1;
        usleep(10000);
    }
    return -1;
}
