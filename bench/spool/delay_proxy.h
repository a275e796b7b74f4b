// A TCP proxy on 127.0.0.1 that holds every chunk of bytes for a fixed time in each
// direction before passing it on, as a distant server's network would. It can also cut a
// connection at the moment its client sends a given statement, as a failing network would:
// before the server sees it, or once the server has had it for a while (so it ran, but its
// answer never arrives).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

class DelayProxy {
public:
    // Listens on a free loopback port and forwards each connection to 127.0.0.1:`target`,
    // adding `oneway` in each direction (so twice that to a round trip). Throws
    // std::system_error.
    DelayProxy(std::uint16_t target, std::chrono::microseconds oneway);
    ~DelayProxy();

    DelayProxy(const DelayProxy&) = delete;
    DelayProxy& operator=(const DelayProxy&) = delete;

    std::uint16_t port() const { return port_; }

    enum class Cut { Before, After };
    // Cuts the next connection whose client sends a query starting with `statement`.
    void cutat(const std::string& statement, Cut when);
    // Connections cut so far.
    int cuts() const { return shared_->cuts; }

    struct Shared {
        std::atomic<bool> stop{false};
        std::atomic<bool> armed{false};
        std::atomic<int> cuts{0};
        std::string statement;  // written before `armed` is set
        Cut when = Cut::Before;
    };

private:
    void accept();

    std::uint16_t target_;
    std::chrono::microseconds oneway_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    // Shared with the connections' threads, which may outlive the proxy by a moment.
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    std::thread acceptor_;
};
