#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <system_error>
#include <thread>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void throwErrno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

std::vector<std::string> mergedEnvironment(const std::vector<std::string>& overrides) {
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

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

std::chrono::milliseconds left(Clock::time_point deadline) {
    const auto remaining =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return remaining.count() > 0 ? remaining : std::chrono::milliseconds(0);
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::vector<std::string>& environment) {
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) throwErrno("pipe");
    if (pipe2(errPipe, O_CLOEXEC) != 0) throwErrno("pipe");

    std::vector<std::string> argTexts{program};
    argTexts.insert(argTexts.end(), args.begin(), args.end());
    std::vector<std::string> envTexts = mergedEnvironment(environment);
    std::vector<char*> argv = pointersTo(argTexts);
    std::vector<char*> envp = pointersTo(envTexts);

    pid_ = fork();
    if (pid_ < 0) throwErrno("fork");
    if (pid_ == 0) {
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        // The test's own descriptors (a pty master above all) must not live on in the
        // child, or closing them in the test would not hang up the line.
        close_range(3, ~0u, 0);
        // As a service manager starts it: the test's client library ignores SIGPIPE, and
        // an ignored signal would stay ignored across exec.
        ::signal(SIGPIPE, SIG_DFL);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    outFd_ = outPipe[0];
    errFd_ = errPipe[0];
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (outFd_ >= 0) close(outFd_);
    if (errFd_ >= 0) close(errFd_);
}

bool ChildProcess::pump(std::chrono::milliseconds wait) {
    if (outFd_ < 0 && errFd_ < 0) return false;
    pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    const int ready = poll(fds, 2, static_cast<int>(wait.count()));
    if (ready < 0 && errno != EINTR) throwErrno("poll");
    if (ready <= 0) return true;
    int* fd[2] = {&outFd_, &errFd_};
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

bool ChildProcess::waitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
    return waitForOccurrences(text, 1, timeout);
}

bool ChildProcess::waitForOccurrences(const std::string& text, std::size_t count,
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

bool ChildProcess::waitForError(const std::string& text, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (err_.find(text) == std::string::npos) {
        if (Clock::now() >= deadline || !pump(left(deadline))) return false;
    }
    return true;
}

std::string ChildProcess::readLine(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const auto end = out_.find('\n', lineStart_);
        if (end != std::string::npos) {
            std::string line = out_.substr(lineStart_, end - lineStart_);
            lineStart_ = end + 1;
            return line;
        }
        if (Clock::now() >= deadline || !pump(left(deadline))) return {};
    }
}

void ChildProcess::closeOutput() {
    if (outFd_ >= 0) close(outFd_);
    outFd_ = -1;
}

void ChildProcess::signal(int signal) const {
    if (pid_ > 0) kill(pid_, signal);
}

int ChildProcess::stop(int signal, std::chrono::milliseconds timeout) {
    this->signal(signal);
    return waitForExit(timeout);
}

int ChildProcess::waitForExit(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    // The pipes reach their end when the child (and whatever inherited them) is gone.
    while (Clock::now() < deadline && pump(left(deadline))) {
    }
    while (pid_ > 0) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (Clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
}
