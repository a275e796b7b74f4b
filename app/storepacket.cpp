#include "storepacket.h"

#include <cstdio>
#include <iostream>

#include "conversions.h"
#include "readingstore.h"

namespace {

void tracereading(int data_type, unsigned raw, double value) {
    std::printf("Data_type = 0x%04x, ", static_cast<unsigned>(data_type));
    std::printf("Data_value = 0x%04x, ", raw);
    std::cout << "Insert datatype " << data_type << " -- value: " << value << '\n';
}

void traceinserted(int moteid, int data_type, double value) {
    std::cout << "Inserted row into test_data successfully" << '\n'
              << '\n'
              << "Here is what was inserted:" << '\n'
              << "logid" << '\n'
              << "moteid=" << moteid << '\n'
              << "timestamp" << '\n'
              << "data_type=" << data_type << '\n'
              << "data_value=" << value << '\n';
}

void storereadings(const MotePacket& packet, const DbSettings& settings) {
    const int moteid = decodemoteid(packet);
    const int count = readingcount(packet);
    ReadingStore store(settings);
    std::printf("MOTEID = 0x%04x, ", static_cast<unsigned>(moteid));
    std::cout << "Inserting " << count << " entries... " << '\n';
    for (int i = 0; i < count; ++i) {
        const Reading reading = readingat(packet, i);
        const int data_type = decodedatatype(reading);
        const unsigned raw = decodedatavalue(reading);
        const double value = convertreading(data_type, raw);
        tracereading(data_type, raw, value);
        insertreading(store, moteid, data_type, value);
        traceinserted(moteid, data_type, value);
    }
}

}  // namespace

std::string conversionerrortext(const mysqlpp::BadConversion& error) {
    return std::string("Error: Tried to convert \"") + error.data + "\" to a \"" + error.type_name +
           "\".";
}

bool storepacket(const MotePacket& packet, const DbSettings& settings) {
    std::cout << "perform insert: " << '\n' << "-----------------" << '\n';
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
