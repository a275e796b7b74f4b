#include "line_observer.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <thread>

LineObserver::LineObserver(const std::string& slavepath)
    : fd_(open(slavepath.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "open " + slavepath);
}

LineObserver::~LineObserver() { close(fd_); }

bool LineObserver::waitqueued(int count, std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int waiting = 0;
        if (ioctl(fd_, FIONREAD, &waiting) != 0) return false;
        if (waiting == count) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

bool LineObserver::waitconfigured(std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        termios settings{};
        if (tcgetattr(fd_, &settings) != 0) return false;
        if ((settings.c_cflag & CRTSCTS) && cfgetispeed(&settings) == B57600) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}
