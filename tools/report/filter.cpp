#include "filter.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace report {

namespace {

[[noreturn]] void failwith(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

void makepipe(int fds[2]) {
    if (pipe2(fds, O_CLOEXEC) != 0) failwith("cannot create a pipe");
}

}  // namespace

FilterResult runfilter(const std::string& program, const std::vector<std::string>& args,
                       const std::string& input) {
    int in[2], out[2], err[2];
    makepipe(in);
    makepipe(out);
    makepipe(err);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid < 0) failwith("cannot start " + program);
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        execvp(program.c_str(), argv.data());
        const std::string why = "cannot run " + program + ": " + std::strerror(errno) + "\n";
        (void)!write(2, why.data(), why.size());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    fcntl(in[1], F_SETFL, O_NONBLOCK);

    // Writing and reading together: a filter may answer before it has read everything.
    FilterResult result;
    std::size_t written = 0;
    if (input.empty()) {
        close(in[1]);
        in[1] = -1;
    }
    while (out[0] >= 0 || err[0] >= 0) {
        pollfd fds[3] = {{in[1], POLLOUT, 0}, {out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
        if (poll(fds, 3, -1) < 0) {
            if (errno == EINTR) continue;
            failwith("waiting for " + program);
        }
        if (in[1] >= 0 && fds[0].revents) {
            const ssize_t n = write(in[1], input.data() + written, input.size() - written);
            if (n > 0) written += static_cast<std::size_t>(n);
            if ((n < 0 && errno != EAGAIN && errno != EINTR) || written == input.size()) {
                close(in[1]);  // done, or the filter stopped reading (EPIPE)
                in[1] = -1;
            }
        }
        int* const readers[2] = {&out[0], &err[0]};
        std::string* const sinks[2] = {&result.out, &result.err};
        for (int i = 0; i < 2; ++i) {
            if (*readers[i] < 0 || !fds[i + 1].revents) continue;
            char buffer[65536];
            const ssize_t n = read(*readers[i], buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                close(*readers[i]);
                *readers[i] = -1;
            }
        }
    }
    if (in[1] >= 0) close(in[1]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) failwith("waiting for " + program + " to end");
    if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    else
        result.status = WEXITSTATUS(status);
    return result;
}

}  // namespace report
