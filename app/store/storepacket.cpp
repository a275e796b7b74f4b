#include "storepacket.h"

#include <iostream>

#include "packettrace.h"
#include "readingstore.h"

namespace {

void storereadings(const MotePacket& packet, const DbSettings& settings) {
    const int moteid = decodemoteid(packet);
    ReadingStore store(settings);
    tracemoteline(moteid, readingcount(packet));
    traceeachreading(packet, [&](int data_type, double value) {
        insertreading(store, moteid, data_type, value);
    });
}

}  // namespace

std::string conversionerrortext(const mysqlpp::BadConversion& error) {
    return std::string("Error: Tried to convert \"") + error.data + "\" to a \"" + error.type_name +
           "\".";
}

bool storepacket(const MotePacket& packet, const DbSettings& settings) {
    traceinsertstart();
    // The store lives inside storereadings, so the connection is closed before any error
    // is written.
    try {
        storereadings(packet, settings);
        return true;
    } catch (const mysqlpp::BadQuery& error) {
        std::cerr << "Error: " << error.what() << '\n';
    } catch (const mysqlpp::ConnectionFailed& error) {
        std::cerr << "Error: " << error.what() << '\n';
    } catch (const mysqlpp::DBSelectionFailed& error) {
        std::cerr << "Error: " << error.what() << '\n';
    } catch (const mysqlpp::BadConversion& error) {
        std::cerr << conversionerrortext(error) << '\n';
    }
    return false;
}
