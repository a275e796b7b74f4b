#include "readingstore.h"

#include <cstdio>

#include "tlsconnect.h"

namespace {

constexpr const char* InsertTemplate =
    "insert into test_data (logid,moteid,timestamp,data_type,data_value) "
    "values(%0q,%1q,%2,%3,%4)";

mysqlpp::Connection& connected(mysqlpp::Connection& connection, const DbSettings& settings) {
    tlsconnect(connection, nullptr, settings, settings.host);
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
