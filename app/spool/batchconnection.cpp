#include "batchconnection.h"

#include "tlsconnect.h"

namespace {

constexpr int ConnectTimeoutSeconds = 5;
// Long enough for a large batch on a busy server; a read may be retried by the library.
constexpr int ReadWriteTimeoutSeconds = 10;

}  // namespace

BatchConnection::BatchConnection(const DbSettings& settings) : connection_(false) {
    connection_.set_option(new mysqlpp::ConnectTimeoutOption(ConnectTimeoutSeconds));
    connection_.set_option(new mysqlpp::ReadTimeoutOption(ReadWriteTimeoutSeconds));
    connection_.set_option(new mysqlpp::WriteTimeoutOption(ReadWriteTimeoutSeconds));
    tlsconnect(connection_, DatabaseName, settings, settings.host);
}

void BatchConnection::run(const std::string& statement) {
    mysqlpp::Query query = connection_.query();
    if (!query.exec(statement))
        throw StoreError(query.error(), static_cast<unsigned>(query.errnum()));
}
