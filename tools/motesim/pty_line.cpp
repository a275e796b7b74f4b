#include "pty_line.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>


namespace motesim {

namespace {

[[noreturn]] void throwErrno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

constexpr int kPollSliceMs = 100;
constexpr useconds_t kHangUpPauseUs = 10000;

}  // namespace

PtyLine::PtyLine(std::function<bool()> shouldStop) : shouldStop_(std::move(shouldStop)) {
    int slave = -1;
    char name[128] = {};
    if (openpty(&master_, &slave, name, nullptr, nullptr) != 0) throwErrno("openpty");
    farEndPath_ = name;
    termios settings{};
    bool raw = tcgetattr(slave, &settings) == 0;
    if (raw) {
        cfmakeraw(&settings);
        raw = tcsetattr(slave, TCSANOW, &settings) == 0;
    }
    const int savedErrno = errno;
    // The pty keeps its settings; with our copy of the slave closed, the master reports
    // a hang-up until a reader opens the far end.
    ::close(slave);
    errno = savedErrno;
    if (!raw) throwErrno("setting the pty to raw mode");
    if (fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK) != 0)
        throwErrno("making the pty master non-blocking");
}

PtyLine::~PtyLine() { ::close(master_); }

bool PtyLine::waitForReader(std::chrono::milliseconds limit) {
    using std::chrono::milliseconds;
    const auto start = std::chrono::steady_clock::now();
    // Compared in milliseconds: the unbounded limit would overflow a finer unit.
    const auto elapsed = [&] {
        return std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start);
    };
    while (!shouldStop_() && elapsed() < limit) {
        pollfd watch{master_, POLLOUT, 0};
        const int ready = ::poll(&watch, 1, kPollSliceMs);
        if (ready < 0 && errno != EINTR) throwErrno("poll on pty master");
        if (ready > 0 && !(watch.revents & POLLHUP)) return true;
        // While the far end is closed poll reports a hang-up at once, so pause here.
        if (ready > 0) ::usleep(kHangUpPauseUs);
    }
    return false;
}

bool PtyLine::waitForReaderToLeave() {
    while (!shouldStop_()) {
        pollfd watch{master_, 0, 0};
        const int ready = ::poll(&watch, 1, kPollSliceMs);
        if (ready < 0 && errno != EINTR) throwErrno("poll on pty master");
        if (ready > 0 && (watch.revents & POLLHUP)) return true;
    }
    return false;
}

bool PtyLine::send(const std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        if (shouldStop_()) return false;
        pollfd watch{master_, POLLOUT, 0};
        const int ready = ::poll(&watch, 1, kPollSliceMs);
        if (ready < 0 && errno != EINTR) throwErrno("poll on pty master");
        if (ready <= 0) continue;
        if (watch.revents & POLLHUP) {
            if (!waitForReader()) return false;
            continue;
        }
        const ssize_t n = ::write(master_, data + done, size - done);
        if (n < 0 && errno != EAGAIN && errno != EINTR) throwErrno("write to pty master");
        if (n > 0) done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace motesim
