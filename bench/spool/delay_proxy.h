// A TCP proxy on 127.0.0.1 that holds every chunk of bytes for a fixed time in each
// direction before passing it on, as a distant server's network would.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
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

private:
    void accept();

    std::uint16_t target_;
    std::chrono::microseconds oneway_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    // Shared with the connections' threads, which may outlive the proxy by a moment.
    std::shared_ptr<std::atomic<bool>> stop_ = std::make_shared<std::atomic<bool>>(false);
    std::thread acceptor_;
};
