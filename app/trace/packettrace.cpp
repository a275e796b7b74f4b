#include "packettrace.h"

#include "conversions.h"
#include "tracechannel.h"

void traceinsertstart() { trace("perform insert: \n-----------------\n"); }

void tracemoteline(int moteid, int count) {
    tracef("MOTEID = 0x%04x, ", static_cast<unsigned>(moteid));
    TraceText() << "Inserting " << count << " entries... " << '\n';
}

namespace {

// The reading's "Data_type" line.
void tracereading(int data_type, unsigned raw, double value) {
    tracef("Data_type = 0x%04x, ", static_cast<unsigned>(data_type));
    tracef("Data_value = 0x%04x, ", raw);
    TraceText() << "Insert datatype " << data_type << " -- value: " << value << '\n';
}

// The block after a reading's row is stored, down to "data_value=".
void traceinserted(int moteid, int data_type, double value) {
    TraceText() << "Inserted row into test_data successfully" << '\n'
              << '\n'
              << "Here is what was inserted:" << '\n'
              << "logid" << '\n'
              << "moteid=" << moteid << '\n'
              << "timestamp" << '\n'
              << "data_type=" << data_type << '\n'
              << "data_value=" << value << '\n';
}

}  // namespace

void traceeachreading(const MotePacket& packet,
                      const std::function<void(int data_type, double value)>& store) {
    const int moteid = decodemoteid(packet);
    for (int i = 0; i < readingcount(packet); ++i) {
        const Reading reading = readingat(packet, i);
        const int data_type = decodedatatype(reading);
        const unsigned raw = decodedatavalue(reading);
        const double value = convertreading(data_type, raw);
        tracereading(data_type, raw, value);
        store(data_type, value);
        traceinserted(moteid, data_type, value);
    }
}

void tracestoredpacket(const MotePacket& packet) {
    traceinsertstart();
    tracemoteline(decodemoteid(packet), readingcount(packet));
    traceeachreading(packet, [](int, double) {});
}
