#include "directsink.h"

#include <mutex>

#include "stationstatus.h"
#include "stopwatcher.h"
#include "storepacket.h"

bool DirectSink::take(const MotePacket& packet) {
    std::unique_lock<std::mutex> guard(packetlock());
    if (storepacket(packet, settings_)) {
        station().stored(packet);
        return true;
    }
    guard.release();
    return false;
}
