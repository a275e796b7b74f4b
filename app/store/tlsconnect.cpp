#include "tlsconnect.h"

#include <dbdriver.h>
#include <errmsg.h>
#include <mysql.h>
#include <mysqld_error.h>

namespace {

constexpr int ProbeTimeoutSeconds = 5;

// What the client library is asked for, one mode at a time.
struct TlsAsk {
    bool any = false;  // TLS at all
    const char* key = nullptr;
    const char* cert = nullptr;
    const char* ca = nullptr;
    bool enforce = false;
    bool verify = false;
};

const char* nonempty(const std::string& path) { return path.empty() ? nullptr : path.c_str(); }

TlsAsk tlsask(const TlsSettings& tls) {
    TlsAsk ask;
    if (tls.mode == TlsMode::Off) return ask;
    ask.any = true;
    ask.key = nonempty(tls.key);
    ask.cert = nonempty(tls.cert);
    // The library checks the chain whenever it has a CA, so only verify passes it on.
    ask.verify = tls.mode == TlsMode::Verify;
    ask.ca = ask.verify ? nonempty(tls.ca) : nullptr;
    // The client library (Connector/C 3.3) goes on in clear with a server that offers no
    // TLS in spite of this; the check after connecting refuses that.
    ask.enforce = tls.mode != TlsMode::Preferred;
    return ask;
}

// Set on a MySQL++ connection before it connects; MySQL++ applies it once the client
// library's handle is made.
class TlsOption : public mysqlpp::Option {
public:
    explicit TlsOption(const TlsSettings& tls) : ask_(tlsask(tls)) {}

    Error set(mysqlpp::DBDriver* driver) override {
        if (!ask_.any) return err_NONE;
        const my_bool yes = 1;
        // Files or not, this asks for TLS whenever the server offers it.
        bool set = driver->enable_ssl(ask_.key, ask_.cert, ask_.ca);
        if (ask_.enforce) set = set && driver->set_option(MYSQL_OPT_SSL_ENFORCE, &yes);
        // Checks the chain against the CA (the system's without one) and the name against
        // the host, before any password goes out; it also refuses a server without TLS.
        if (ask_.verify) set = set && driver->set_option(MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &yes);
        return set ? err_NONE : err_api_reject;
    }

private:
    const TlsAsk ask_;
};

// Connects `connection` to `host`; the driver's own connect takes the port apart from the
// name, so that an IPv6 address is not read as "name:port". Returns whether it worked.
bool connectdriver(mysqlpp::Connection& connection, const char* database,
                   const DbSettings& settings, const DbHost& host) {
    return connection.driver()->connect(host.name.c_str(), nullptr, host.port, database,
                                        DatabaseUser, settings.password.c_str());
}

// Whether the server takes the logger's account from `host` over TLS: after a refusal in
// clear, this tells a server that requires secure transport from a wrong password.
bool acceptsovertls(const DbSettings& settings, const DbHost& host) {
    mysqlpp::Connection probe(false);
    probe.set_option(new mysqlpp::ConnectTimeoutOption(ProbeTimeoutSeconds));
    probe.set_option(new TlsOption(
        TlsSettings{TlsMode::On, settings.tls.ca, settings.tls.cert, settings.tls.key}));
    return connectdriver(probe, nullptr, settings, host);
}

std::string cipherof(mysqlpp::Connection& connection) {
    mysqlpp::Query query = connection.query(EncryptionQuery);
    const mysqlpp::StoreQueryResult result = query.store();
    if (!result) throw mysqlpp::BadQuery(query.error(), query.errnum());
    for (const mysqlpp::Row& row : result)
        if (std::string(row[0].data(), row[0].length()) == "Ssl_cipher")
            return std::string(row[1].data(), row[1].length());
    return "";
}

}  // namespace

bool overnetwork(const std::string& host) { return !host.empty() && host != "localhost"; }

bool settlsoptions(st_mysql* mysql, const TlsSettings& tls) {
    const TlsAsk ask = tlsask(tls);
    if (!ask.any) return true;
    const my_bool yes = 1;
    bool set = mysql_ssl_set(mysql, ask.key, ask.cert, ask.ca, nullptr, nullptr) == 0;
    if (ask.enforce) set = set && mysql_options(mysql, MYSQL_OPT_SSL_ENFORCE, &yes) == 0;
    if (ask.verify) set = set && mysql_options(mysql, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &yes) == 0;
    return set;
}

std::string tlsrefusalcause(const DbSettings& settings, const DbHost& host, int errnum) {
    const TlsSettings& tls = settings.tls;
    if (!overnetwork(host.name)) return "";
    if (errnum == CR_SSL_CONNECTION_ERROR && tls.mode == TlsMode::Verify)
        return tlsmodesetting(tls.mode) +
               ": the server's certificate check wants TLS and a certificate for " + host.name +
               " signed by " +
               (tls.ca.empty() ? "one of the system's CAs"
                               : "the CA in MOTELOG_DB_TLS_CA=" + tls.ca);
    if (errnum == CR_SSL_CONNECTION_ERROR && tls.mode == TlsMode::On)
        return tlsmodesetting(tls.mode) + " wants TLS";
    if (errnum == ER_ACCESS_DENIED_ERROR && tls.mode == TlsMode::Off &&
        acceptsovertls(settings, host))
        return "the server refuses connections in clear (it requires secure transport), and " +
               tlsmodesetting(tls.mode) + " makes one: set MOTELOG_DB_TLS=verify";
    return "";
}

std::string inclearrefusal(const TlsSettings& tls, const DbHost& host, const std::string& cipher) {
    if (!overnetwork(host.name) || tls.mode != TlsMode::On || !cipher.empty()) return "";
    return "the connection to " + host.name + " is in clear: the server offers no TLS, and " +
           tlsmodesetting(tls.mode) + " requires it";
}

void tlsconnect(mysqlpp::Connection& connection, const char* database, const DbSettings& settings,
                const DbHost& host) {
    const bool network = overnetwork(host.name);
    if (network) connection.set_option(new TlsOption(settings.tls));
    if (!connectdriver(connection, database, settings, host)) {
        mysqlpp::DBDriver& driver = *connection.driver();
        const std::string text = driver.error();
        const int errnum = driver.errnum();
        const std::string cause = tlsrefusalcause(settings, host, errnum);
        if (!cause.empty()) throw TlsRefused((text + "; " + cause).c_str(), errnum);
        throw mysqlpp::ConnectionFailed(text.c_str(), errnum);
    }
    if (network && settings.tls.mode == TlsMode::On) {
        const std::string refusal = inclearrefusal(settings.tls, host, cipherof(connection));
        if (!refusal.empty()) throw TlsRefused(refusal.c_str());
    }
}

std::string tlsdescription(const std::string& version, const std::string& cipher,
                           const TlsSettings& tls, const DbHost& host) {
    if (!overnetwork(host.name)) return "none, none needed through the local socket";
    if (tls.mode == TlsMode::Off) return "none (" + tlsmodesetting(tls.mode) + ")";
    if (cipher.empty())
        return "none, the server offers no TLS (" + tlsmodesetting(tls.mode) +
               "; MOTELOG_DB_TLS=verify would refuse it)";
    const std::string protocol = version + ", " + cipher;
    if (tls.mode != TlsMode::Verify)
        return protocol + "; the server's certificate is not verified (" +
               tlsmodesetting(tls.mode) + "; MOTELOG_DB_TLS=verify checks it)";
    return protocol + "; the server's certificate is verified: signed by " +
           (tls.ca.empty() ? "one of the system's CAs" : "the CA in " + tls.ca) + ", made out to " +
           host.name;
}
