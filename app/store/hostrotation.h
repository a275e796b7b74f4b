// Which of several database servers to use: the first that answers, until it fails; then
// the next in the list, round and round.
#pragma once

#include <cstddef>
#include <exception>
#include <utility>
#include <vector>

#include "dbhost.h"

class HostRotation {
public:
    // `hosts` must not be empty.
    explicit HostRotation(std::vector<DbHost> hosts) : hosts_(std::move(hosts)) {}

    const DbHost& current() const { return hosts_[at_]; }
    // The current host failed: the next one is tried from now on.
    void failed() { at_ = (at_ + 1) % hosts_.size(); }

    // Calls `connect(host)` for each host from the current one on until one returns without
    // throwing, and stays with that host. When every host failed, rethrows the last failure
    // (the rotation is back at the host it started from).
    template <class Connect>
    auto firstanswering(Connect&& connect) -> decltype(connect(std::declval<const DbHost&>())) {
        for (std::size_t tried = 1;; ++tried) {
            try {
                return connect(current());
            } catch (...) {
                failed();
                if (tried == hosts_.size()) throw;
            }
        }
    }

private:
    std::vector<DbHost> hosts_;
    std::size_t at_ = 0;
};
