#include "batchstatement.h"

#include <cinttypes>
#include <cstdio>

#include "conversions.h"
#include "readingstore.h"

std::string batchinsert(const std::vector<JournalEntry>& entries, const ArrivalTime& now) {
    std::string statement;
    for (const JournalEntry& entry : entries) {
        const MotePacket& packet = entry.packet;
        const int moteid = decodemoteid(packet);
        const std::int64_t waited = waitedus(entry.arrival, now);
        for (int i = 0; i < readingcount(packet); ++i) {
            const Reading reading = readingat(packet, i);
            const int data_type = decodedatatype(reading);
            char row[128];
            std::snprintf(row, sizeof row, "%s(0,%d,now() - INTERVAL %" PRId64 " MICROSECOND,%d,%s)",
                          statement.empty() ? "" : ",", moteid, waited, data_type,
                          sqlnumbertext(readingvalue(data_type, decodedatavalue(reading))).c_str());
            if (statement.empty())
                statement = "insert into test_data (logid,moteid,timestamp,data_type,data_value) values";
            statement += row;
        }
    }
    return statement;
}

std::string batchxid(std::uint64_t spoolid, std::uint64_t generation) {
    char xid[64];
    std::snprintf(xid, sizeof xid, "'motelog-%016" PRIx64 "-%" PRIu64 "'", spoolid, generation);
    return xid;
}
