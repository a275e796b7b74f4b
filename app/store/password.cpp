#include "password.h"

#include <cstdint>

namespace {

constexpr std::uint8_t masked[5] = {0x3e, 0x58, 0xd4, 0x28, 0x4b};

constexpr std::uint8_t maskbyte(unsigned index) {
    return static_cast<std::uint8_t>((index * 73u + 41u) ^ 0x5Cu);
}

}  // namespace

Password buildpassword() {
    Password password{};
    for (unsigned i = 0; i < 5; ++i) password[i] = static_cast<char>(masked[i] ^ maskbyte(i));
    password[5] = '\0';
    return password;
}
