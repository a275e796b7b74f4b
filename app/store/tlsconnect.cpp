#include "tlsconnect.h"

#include <dbdriver.h>
#include <errmsg.h>
#include <mysqld_error.h>

namespace {

constexpr int ProbeTimeoutSeconds = 5;

// Set on the connection before it connects; MySQL++ applies it once the client library's
// handle is made.
class TlsOption : public mysqlpp::Option {
public:
    explicit TlsOption(const TlsSettings& tls) : tls_(tls) {}

    Error set(mysqlpp::DBDriver* driver) override {
        if (tls_.mode == TlsMode::Off) return err_NONE;
        const my_bool yes = 1;
        const bool verify = tls_.mode == TlsMode::Verify;
        // Files or not, this asks for TLS whenever the server offers it. The library checks
        // the chain whenever it has a CA, so only verify passes it on.
        bool set = driver->enable_ssl(nonempty(tls_.key), nonempty(tls_.cert),
                                      verify ? nonempty(tls_.ca) : nullptr);
        // The client library (Connector/C 3.3) goes on in clear with a server that offers no
        // TLS in spite of this; the check after connecting refuses that.
        if (tls_.mode != TlsMode::Preferred)
            set = set && driver->set_option(MYSQL_OPT_SSL_ENFORCE, &yes);
        // Checks the chain against the CA (the system's without one) and the name against
        // the host, before any password goes out; it also refuses a server without TLS.
        if (verify) set = set && driver->set_option(MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &yes);
        return set ? err_NONE : err_api_reject;
    }

private:
    static const char* nonempty(const std::string& path) {
        return path.empty() ? nullptr : path.c_str();
    }

    const TlsSettings tls_;
};

struct Encryption {
    std::string version;  // "TLSv1.3"; both empty: in clear
    std::string cipher;
};

Encryption encryption(mysqlpp::Connection& connection) {
    mysqlpp::Query query = connection.query(
        "SHOW SESSION STATUS WHERE Variable_name IN ('Ssl_version', 'Ssl_cipher')");
    const mysqlpp::StoreQueryResult result = query.store();
    if (!result) throw mysqlpp::BadQuery(query.error(), query.errnum());
    Encryption found;
    for (const mysqlpp::Row& row : result) {
        const std::string name(row[0].data(), row[0].length());
        (name == "Ssl_version" ? found.version : found.cipher)
            .assign(row[1].data(), row[1].length());
    }
    return found;
}

// Whether the server takes the logger's account from `host` over TLS: after a refusal in
// clear, this tells a server that requires secure transport from a wrong password.
bool acceptsovertls(const DbSettings& settings, const std::string& host) {
    mysqlpp::Connection probe(false);
    probe.set_option(new mysqlpp::ConnectTimeoutOption(ProbeTimeoutSeconds));
    probe.set_option(new TlsOption(
        TlsSettings{TlsMode::On, settings.tls.ca, settings.tls.cert, settings.tls.key}));
    return probe.connect(nullptr, host.c_str(), DatabaseUser, settings.password.c_str());
}

// The cause of a refused connection in the settings' words, when TLS explains it.
std::string refusalcause(const DbSettings& settings, const std::string& host, int errnum) {
    const TlsSettings& tls = settings.tls;
    if (errnum == CR_SSL_CONNECTION_ERROR && tls.mode == TlsMode::Verify)
        return tlsmodesetting(tls.mode) +
               ": the server's certificate check wants TLS and a certificate for " + host +
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

}  // namespace

bool overnetwork(const std::string& host) { return !host.empty() && host != "localhost"; }

void tlsconnect(mysqlpp::Connection& connection, const char* database, const DbSettings& settings,
                const std::string& host) {
    const bool network = overnetwork(host);
    if (network) connection.set_option(new TlsOption(settings.tls));
    bool connected = false;
    {
        const mysqlpp::NoExceptions quiet(connection);
        connected =
            connection.connect(database, host.c_str(), DatabaseUser, settings.password.c_str());
    }
    if (!connected) {
        const std::string text = connection.error();
        const int errnum = connection.errnum();
        const std::string cause = network ? refusalcause(settings, host, errnum) : "";
        if (!cause.empty()) throw TlsRefused((text + "; " + cause).c_str(), errnum);
        throw mysqlpp::ConnectionFailed(text.c_str(), errnum);
    }
    if (network && settings.tls.mode == TlsMode::On && encryption(connection).cipher.empty())
        throw TlsRefused(("the connection to " + host +
                          " is in clear: the server offers no TLS, and " +
                          tlsmodesetting(settings.tls.mode) + " requires it")
                             .c_str());
}

std::string tlsdescription(mysqlpp::Connection& connection, const TlsSettings& tls,
                           const std::string& host) {
    if (!overnetwork(host)) return "none, none needed through the local socket";
    if (tls.mode == TlsMode::Off) return "none (" + tlsmodesetting(tls.mode) + ")";
    const Encryption found = encryption(connection);
    if (found.cipher.empty())
        return "none, the server offers no TLS (" + tlsmodesetting(tls.mode) +
               "; MOTELOG_DB_TLS=verify would refuse it)";
    const std::string protocol = found.version + ", " + found.cipher;
    if (tls.mode != TlsMode::Verify)
        return protocol + "; the server's certificate is not verified (" +
               tlsmodesetting(tls.mode) + "; MOTELOG_DB_TLS=verify checks it)";
    return protocol + "; the server's certificate is verified: signed by " +
           (tls.ca.empty() ? "one of the system's CAs" : "the CA in " + tls.ca) + ", made out to " +
           host;
}
