// The store of one packet's readings: a database connection and its query object, open
// only while that packet's rows are written.
#pragma once

#include <mysql++.h>

#include <string>

#include "dbsettings.h"

class ReadingStore {
public:
    // Connects to the first host of `settings.host` that answers, as the logger's user with
    // TLS as `settings` ask, selects the logger's database and makes the query object, in
    // exception mode. Throws mysqlpp::ConnectionFailed (the last host's failure; TlsRefused
    // when TLS explains it, see tlsconnect()) or mysqlpp::DBSelectionFailed carrying the
    // client library's error text.
    explicit ReadingStore(const DbSettings& settings);

    ReadingStore(const ReadingStore&) = delete;
    ReadingStore& operator=(const ReadingStore&) = delete;

    mysqlpp::Query& query() { return query_; }

private:
    // Declared in this order so the query goes before the connection closes.
    mysqlpp::Connection connection_;
    mysqlpp::Query query_;
};

// Writes one row into test_data: logid 0 (the server assigns the id), `moteid`, the
// server's now(), `data_type` and `value`. Throws mysqlpp::BadQuery with the client
// library's error text when the server rejects the statement.
void insertreading(ReadingStore& store, int moteid, int data_type, double value);

// `value` as SQL text the way printf's "%g" writes it: six significant digits, exponent
// form below 1e-4 and from 1e6 up.
std::string sqlnumbertext(double value);
