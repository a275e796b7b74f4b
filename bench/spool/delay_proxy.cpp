#include "delay_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <string>
#include <system_error>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Chunk {
    Clock::time_point due;
    std::string bytes;
};

// One direction of a connection: what was read from `from`, waiting to go to `to`.
struct Direction {
    int from;
    int to;
    std::deque<Chunk> held;
    bool ended = false;
};

void sendall(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t sent = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return;  // the peer went; the other direction notices
        done += static_cast<std::size_t>(sent);
    }
}

// Whether `chunk`, sent by the client, holds a query (command byte 3) starting with `statement`.
bool holdsquery(const std::string& chunk, const std::string& statement) {
    return chunk.find('\x03' + statement) != std::string::npos;
}

// How long a statement cut after it went through is given to run on the server.
constexpr auto RunsFor = std::chrono::milliseconds(200);

void relay(int client, int server, std::chrono::microseconds oneway,
           std::shared_ptr<DelayProxy::Shared> shared) {
    const std::atomic<bool>& stop = shared->stop;
    Direction ways[2] = {{client, server, {}}, {server, client, {}}};
    Clock::time_point cut = Clock::time_point::max();
    // Read once, at the cut: cutat() may re-arm the proxy while this connection is in its window.
    DelayProxy::Cut when = DelayProxy::Cut::After;
    while (!stop && Clock::now() < cut &&
           !(ways[0].ended && ways[0].held.empty() && ways[1].ended && ways[1].held.empty())) {
        const auto now = Clock::now();
        int timeout = 100;
        for (const Direction& way : ways)
            if (!way.held.empty())
                timeout = std::min<int>(timeout, static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(
                                                                      way.held.front().due - now)
                                                                      .count()));
        pollfd fds[2] = {{ways[0].ended ? -1 : client, POLLIN, 0}, {ways[1].ended ? -1 : server, POLLIN, 0}};
        poll(fds, 2, std::max(timeout, 0));
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents == 0) continue;
            char buffer[65536];
            const ssize_t got = recv(ways[i].from, buffer, sizeof buffer, 0);
            if (got > 0) {
                std::string chunk(buffer, static_cast<std::size_t>(got));
                if (i == 0 && shared->armed && holdsquery(chunk, shared->statement) &&
                    shared->armed.exchange(false)) {
                    when = shared->when;  // before the count, which a caller may wait for to re-arm
                    ++shared->cuts;
                    cut = Clock::now() + oneway + RunsFor;
                }
                ways[i].held.push_back({Clock::now() + oneway, std::move(chunk)});
            } else if (got == 0 || errno != EINTR) {
                ways[i].ended = true;
            }
        }
        if (cut != Clock::time_point::max() && when == DelayProxy::Cut::Before) break;
        // A statement that goes through before its cut never gets its answer.
        if (cut != Clock::time_point::max()) ways[1].held.clear();
        for (Direction& way : ways) {
            while (!way.held.empty() && way.held.front().due <= Clock::now()) {
                sendall(way.to, way.held.front().bytes);
                way.held.pop_front();
            }
            if (way.ended && way.held.empty()) shutdown(way.to, SHUT_WR);
        }
    }
    close(client);
    close(server);
}

sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

}  // namespace

DelayProxy::DelayProxy(std::uint16_t target, std::chrono::microseconds oneway)
    : target_(target), oneway_(oneway) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t size = sizeof address;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 16) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        throw std::system_error(errno, std::generic_category(), "delay proxy: listening");
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { accept(); });
}

DelayProxy::~DelayProxy() {
    shared_->stop = true;
    shutdown(listener_, SHUT_RDWR);
    acceptor_.join();
    close(listener_);
}

void DelayProxy::accept() {
    while (!shared_->stop) {
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in address = loopback(target_);
        if (server < 0 || connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            close(client);
            if (server >= 0) close(server);
            continue;
        }
        const int on = 1;
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        std::thread(relay, client, server, oneway_, shared_).detach();
    }
}

void DelayProxy::cutat(const std::string& statement, Cut when) {
    shared_->statement = statement;
    shared_->when = when;
    shared_->armed = true;
}
