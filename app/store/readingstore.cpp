#include "readingstore.h"

#include <cstdio>

#include "hostrotation.h"
#include "tlsconnect.h"

namespace {

constexpr const char* InsertTemplate =
    "insert into test_data (logid,moteid,timestamp,data_type,data_value) "
    "values(%0q,%1q,%2,%3,%4)";

// The first host of the list that answers; the list is tried afresh for each packet.
mysqlpp::Connection& connected(mysqlpp::Connection& connection, const DbSettings& settings) {
    HostRotation hosts(parsehostlist(settings.host));
    hosts.firstanswering(
        [&](const DbHost& host) { tlsconnect(connection, nullptr, settings, host); });
    connection.select_db(DatabaseName);
    return connection;
}

}  // namespace

ReadingStore::ReadingStore(const DbSettings& settings)
    : connection_(true), query_(connected(connection_, settings).query()) {}

std::string sqlnumbertext(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

void insertreading(ReadingStore& store, int moteid, int data_type, double value) {
    mysqlpp::Query& query = store.query();
    query.reset();
    query << InsertTemplate;
    query.parse();
    // The value goes in as text: the library would write a double with 17 digits. As an
    // unmodified string parameter it is inserted unquoted, like now().
    query.store(mysqlpp::SQLTypeAdapter(0), mysqlpp::SQLTypeAdapter(moteid),
                mysqlpp::SQLTypeAdapter("now()"), mysqlpp::SQLTypeAdapter(data_type),
                mysqlpp::SQLTypeAdapter(sqlnumbertext(value)));
}
