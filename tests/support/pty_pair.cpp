#include "pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace {

[[noreturn]] void throwErrno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

PtyPair::PtyPair() {
    char name[128] = {};
    if (openpty(&master_, &slaveKeeper_, name, nullptr, nullptr) != 0) throwErrno("openpty");
    slavePath_ = name;

    termios tio{};
    if (tcgetattr(slaveKeeper_, &tio) != 0) throwErrno("tcgetattr");
    cfmakeraw(&tio);
    if (tcsetattr(slaveKeeper_, TCSANOW, &tio) != 0) throwErrno("tcsetattr");
}

PtyPair::~PtyPair() {
    closeMaster();
    closeSlaveKeeper();
}

void PtyPair::send(const std::vector<std::uint8_t>& bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throwErrno("write to pty master");
        }
        done += static_cast<std::size_t>(n);
    }
}

void PtyPair::send(const std::string& text) const {
    send(std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::vector<std::uint8_t> PtyPair::receive(std::size_t count,
                                           std::chrono::milliseconds timeout) const {
    std::vector<std::uint8_t> got;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (got.size() < count) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd pfd{master_, POLLIN, 0};
        int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready < 0) {
            if (errno == EINTR) continue;
            throwErrno("poll pty master");
        }
        if (ready == 0) break;
        std::uint8_t buffer[256];
        std::size_t want = count - got.size();
        ssize_t n = ::read(master_, buffer, want < sizeof buffer ? want : sizeof buffer);
        if (n <= 0) break;
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

void PtyPair::closeMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

void PtyPair::closeSlaveKeeper() {
    if (slaveKeeper_ >= 0) ::close(slaveKeeper_);
    slaveKeeper_ = -1;
}
