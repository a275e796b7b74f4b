#include "stationid.h"

#include <systemd/sd-id128.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>

namespace {

// motelog's own key for the machine id, so that the id says nothing about the machine.
constexpr sd_id128_t MotelogApp =
    SD_ID128_MAKE(5c, 0e, 8a, 31, d2, 47, 4f, 96, 9b, 1a, 64, c3, 7e, 05, d8, 2f);

// FNV-1a over `text` from `seed`: two seeds give the path's 128 bits.
std::uint64_t fnv1a(const std::string& text, std::uint64_t seed) {
    std::uint64_t hash = seed;
    for (const unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001b3u;
    }
    return hash;
}

std::string canonical(const std::string& dir) {
    const std::unique_ptr<char, decltype(&std::free)> path(realpath(dir.c_str(), nullptr),
                                                           &std::free);
    return path ? path.get() : dir;
}

}  // namespace

StationId stationidof(const std::string& dir, const StationId& nonce) {
    // The path and the nonce become the application id of an HMAC keyed by the machine id.
    const std::string path = canonical(dir);
    sd_id128_t app = MotelogApp;
    const std::uint64_t halves[2] = {fnv1a(path, 0xcbf29ce484222325u),
                                     fnv1a(path, 0x84222325cbf29ce4u)};
    for (int i = 0; i < 16; ++i)
        app.bytes[i] ^= static_cast<std::uint8_t>(halves[i / 8] >> (8 * (i % 8))) ^
                        nonce[static_cast<std::size_t>(i)];
    sd_id128_t id;
    if (sd_id128_get_machine_app_specific(app, &id) < 0) id = app;
    StationId station;
    for (int i = 0; i < 16; ++i) station[static_cast<std::size_t>(i)] = id.bytes[i];
    return station;
}

StationId randomstationid() {
    std::random_device random;
    StationId id;
    for (auto& byte : id) byte = static_cast<std::uint8_t>(random());
    return id;
}

std::string stationtext(const StationId& id) {
    std::string text;
    char digits[3];
    for (const std::uint8_t byte : id) {
        std::snprintf(digits, sizeof digits, "%02x", byte);
        text += digits;
    }
    return text;
}

bool isnone(const StationId& id) {
    for (const std::uint8_t byte : id)
        if (byte != 0) return false;
    return true;
}
