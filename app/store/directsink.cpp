#include "directsink.h"

#include <mutex>

#include "stopwatcher.h"
#include "storepacket.h"

bool DirectSink::take(const MotePacket& packet) {
    std::unique_lock<std::mutex> guard(packetlock());
    if (storepacket(packet, settings_)) return true;
    guard.release();
    return false;
}
