#include "mote_traffic.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <stdexcept>
#include <string>

#include "sensor_words.h"

namespace motesim {

namespace {

// Types the logger stores unconverted, as a real network carries (battery, counters, ...).
constexpr std::uint16_t kUnknownTypes[] = {0x0000, 0x0004, 0x0005, 0x0020, 0xFFFF};
constexpr double kUnknownTypeShare = 0.1;

}  // namespace

MoteTraffic::MoteTraffic(const TrafficConfig& config) : config_(config), random_(config.seed) {
    if (config.motes < 1 || config.motes > 65535)
        throw std::invalid_argument("motes must be 1 .. 65535, not " + std::to_string(config.motes));
    if (config.readingsPerFrame < 1 || config.readingsPerFrame > kMaxReadings)
        throw std::invalid_argument("readings per packet must be 1 .. 6, not " +
                                    std::to_string(config.readingsPerFrame));
    if (!(config.corruptShare >= 0.0 && config.corruptShare <= 1.0))
        throw std::invalid_argument("corrupt share must be 0 .. 1");
    climates_.reserve(config.motes);
    for (unsigned i = 0; i < config.motes; ++i)
        climates_.push_back({random_.between(55, 85), random_.between(30, 60),
                             random_.between(100, 800), random_.between(0.1, 0.35)});
}

Chunk MoteTraffic::next() {
    return random_.chance(config_.corruptShare) ? corruptChunk() : dataChunk();
}

Chunk MoteTraffic::dataChunk() {
    Chunk chunk;
    const auto index = static_cast<unsigned>(sequence_++ % config_.motes);
    chunk.moteId = static_cast<std::uint16_t>(index + 1);
    Climate& climate = climates_[index];
    drift(climate);
    for (unsigned slot = 0; slot < config_.readingsPerFrame; ++slot)
        chunk.readings.push_back(reading(climate, slot));
    const Frame frame = encodeDataFrame(chunk.moteId, chunk.readings);
    chunk.bytes.assign(frame.begin(), frame.end());
    return chunk;
}

Chunk MoteTraffic::corruptChunk() {
    switch (random_.below(4)) {
    case 0: {
        Chunk chunk;
        chunk.kind = ChunkKind::StrayBytes;
        chunk.bytes.resize(1 + random_.below(4));
        for (auto& byte : chunk.bytes) byte = static_cast<std::uint8_t>(1 + random_.below(255));
        return chunk;
    }
    case 1: {
        Chunk chunk = dataChunk();
        chunk.kind = ChunkKind::SwappedStart;
        std::swap(chunk.bytes[0], chunk.bytes[1]);
        return chunk;
    }
    case 2: {
        Chunk chunk;
        chunk.kind = ChunkKind::ZeroLength;
        const Frame frame = encodeHeaderOnlyFrame(kDataPacketType, 0);
        chunk.bytes.assign(frame.begin(), frame.end());
        return chunk;
    }
    default: {
        Chunk chunk;
        chunk.kind = ChunkKind::Query;
        chunk.moteId = static_cast<std::uint16_t>(1 + random_.below(config_.motes));
        const Frame frame = encodeDataFrame(chunk.moteId, {}, kQueryPacketType);
        chunk.bytes.assign(frame.begin(), frame.end());
        return chunk;
    }
    }
}

SimReading MoteTraffic::reading(Climate& climate, unsigned slot) {
    if (random_.chance(kUnknownTypeShare)) {
        const auto type = kUnknownTypes[random_.below(std::size(kUnknownTypes))];
        return {type, static_cast<std::uint16_t>(random_.below(65536))};
    }
    // Each sample of a packet differs a little from the mote's climate: sensor noise.
    switch (slot % 3) {
    case 0:
        return {kLight, lightWord(climate.lux * random_.between(0.98, 1.02), climate.infraredRatio)};
    case 1:
        return {kTemperature, temperatureWord(climate.fahrenheit + random_.between(-0.1, 0.1))};
    default:
        return {kHumidity, humidityWord(climate.humidity + random_.between(-0.2, 0.2))};
    }
}

// A bounded random walk: conditions change a little between two frames of a mote.
void MoteTraffic::drift(Climate& climate) {
    climate.fahrenheit = std::clamp(climate.fahrenheit + random_.between(-0.3, 0.3), 40.0, 100.0);
    climate.humidity = std::clamp(climate.humidity + random_.between(-0.5, 0.5), 15.0, 90.0);
    climate.lux = std::clamp(climate.lux * random_.between(0.95, 1.05), 5.0, 1500.0);
    climate.infraredRatio =
        std::clamp(climate.infraredRatio + random_.between(-0.01, 0.01), 0.05, 0.5);
}

}  // namespace motesim
