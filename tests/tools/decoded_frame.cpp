#include "decoded_frame.h"

#include <algorithm>
#include <cstring>
#include <sstream>

#include <gtest/gtest.h>

#include "conversions.h"

MotePacket toMotePacket(const std::vector<std::uint8_t>& bytes) {
    MotePacket packet{};
    std::memcpy(&packet, bytes.data(), std::min(bytes.size(), sizeof packet));
    packet.address = static_cast<std::uint16_t>(bytes.at(0) << 8 | bytes.at(1));
    return packet;
}

DecodedFrame decodeFrame(const MotePacket& packet) {
    DecodedFrame frame;
    frame.moteid = decodemoteid(packet);
    for (int i = 0; i < readingcount(packet); ++i) {
        const Reading reading = readingat(packet, i);
        frame.readings.push_back({static_cast<std::uint16_t>(decodedatatype(reading)),
                                  static_cast<std::uint16_t>(decodedatavalue(reading))});
    }
    return frame;
}

std::string implausibility(const motesim::SimReading& reading) {
    struct Range {
        double low, high;
    };
    Range range{0, 65535};
    if (reading.type == motesim::kLight) range = {1, 2000};
    if (reading.type == motesim::kTemperature) range = {35, 105};
    if (reading.type == motesim::kHumidity) range = {10, 95};
    // The light conversion traces its channel counts; keep them out of the test log.
    testing::internal::CaptureStdout();
    const double value = convertreading(reading.type, reading.value);
    testing::internal::GetCapturedStdout();
    if (value >= range.low && value <= range.high) return {};
    std::ostringstream text;
    text << "type " << reading.type << " raw 0x" << std::hex << reading.value << std::dec
         << " converts to " << value << ", outside " << range.low << " .. " << range.high;
    return text.str();
}
