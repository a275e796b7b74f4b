#include "readpacket.h"

#include <chrono>
#include <cstdio>
#include <initializer_list>
#include <new>
#include <optional>

#include "linestop.h"
#include "serialport.h"
#include "tracechannel.h"

namespace {

// A rejected second start byte that is 0x00 may itself begin the next start pair.
bool keptstartbyte = false;

using Clock = std::chrono::steady_clock;
using Begun = std::optional<Clock::time_point>;

// Reads exactly `count` bytes in one read without a time limit; returns 0, or the code of
// the port's failure.
std::int32_t readblocking(void* into, DWORD count) {
    DWORD got = 0;
    const LONG result = serialport.Read(into, count, &got, nullptr, INFINITE);
    if (result != 0) return result;
    // A blocking read without a time limit ends short only when the device went away in
    // the middle of it; the port hands over what came before that.
    return got == count ? 0 : ERROR_DEVICE_NOT_CONNECTED;
}

// Reads exactly `count` bytes of a packet that began at `begun` (empty: the first byte of
// one); returns 0, the code of the port's failure, or LineStopped. When the reader is to
// finish before a stop, each byte is a read of its own with a bounded wait: a read that
// times out hands over nothing, so no byte is lost to the stop's checks.
std::int32_t readexactly(void* into, DWORD count, const Begun& begun) {
    if (!readerfinishesonstop()) return readblocking(into, count);
    auto* bytes = static_cast<std::uint8_t*>(into);
    for (DWORD done = 0; done < count;) {
        const LineWait wait = linewait(begun);
        if (wait.stopnow) return LineStopped;
        DWORD got = 0;
        const LONG result = serialport.Read(bytes + done, 1, &got, nullptr, wait.ms);
        if (result == ERROR_TIMEOUT) {
            if (wait.last) return LineStopped;
            continue;
        }
        if (result != 0) return result;
        if (got != 1) return ERROR_DEVICE_NOT_CONNECTED;
        ++done;
    }
    return 0;
}

void traceheader(const MotePacket& packet) {
    tracef("Header:\n");
    tracef("  address    = 0x%04x\n", static_cast<unsigned>(packet.address));
    tracef("  packettype = 0x%02x\n", static_cast<unsigned>(packet.packettype));
    tracef("  group\t\t = 0x%02x\n", static_cast<unsigned>(packet.group));
    tracef("  len        = %d\n", static_cast<int>(packet.len));
}

// The dump goes out in one call, so that a line of another thread never lands inside it.
void tracebytes(const MotePacket& packet) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&packet);
    char line[PacketSize * 6 + 2];
    std::size_t used = 0;
    for (std::size_t i = 0; i < PacketSize; ++i)
        used += static_cast<std::size_t>(std::snprintf(line + used, sizeof line - used, "0x%02x, ",
                                                       static_cast<unsigned>(bytes[i])));
    std::snprintf(line + used, sizeof line - used, "\n");
    trace(line);
}

// Ends the line of the 31-byte read with `outcome`, once the read is over, so that no line
// of another thread lands inside it.
void tracebody(const MotePacket& packet, const char* outcome) {
    tracef("Receiveing data... (%d bytes used out of payload of 29)%s\n",
                static_cast<int>(packet.len), outcome);
}

PacketRead ended(std::int32_t failure) {
    if (failure == LineStopped) return PacketRead{nullptr, 0, true};
    return PacketRead{nullptr, failure};
}

PacketRead cutoff(std::int32_t failure) {
    trace("cut off.\n");
    return ended(failure);
}

}  // namespace

PacketRead readpacket() {
    std::uint8_t first = StartByteHigh;
    if (!keptstartbyte) {
        if (const std::int32_t failure = readexactly(&first, 1, std::nullopt)) return ended(failure);
    }
    keptstartbyte = false;
    if (first != StartByteHigh) return PacketRead{};
    const Begun begun = Clock::now();
    std::uint8_t second = 0;
    if (const std::int32_t failure = readexactly(&second, 1, begun)) return ended(failure);
    if (second != StartByteLow) {
        keptstartbyte = second == StartByteHigh;
        return PacketRead{};
    }

    // The packet is assembled here and copied to the heap only when complete, so a failed
    // allocation never costs the line its step.
    MotePacket packet{};
    packet.address = PacketAddress;
    tracef("Reading header (%d bytes)...\n", 4);
    for (std::uint8_t* field : {&packet.packettype, &packet.group, &packet.len}) {
        if (const std::int32_t failure = readexactly(field, 1, begun)) return cutoff(failure);
    }
    trace("Received rest of header\n");
    traceheader(packet);

    auto* bytes = reinterpret_cast<std::uint8_t*>(&packet);
    if (const std::int32_t failure = readexactly(bytes + HeaderSize, BodySize, begun)) {
        tracebody(packet, "cut off.");
        return ended(failure);
    }
    tracebody(packet, "done.");
    tracebytes(packet);

    return PacketRead{std::unique_ptr<MotePacket>(new (std::nothrow) MotePacket(packet)), 0};
}
