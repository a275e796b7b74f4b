#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace report {

namespace {

long long parsewhole(const std::string& option, const std::string& text, long long high) {
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || text[0] < '0' || text[0] > '9' || *end != '\0' || errno == ERANGE ||
        value > high)
        throw std::invalid_argument(option + " wants a whole number from 0 to " +
                                    std::to_string(high) + ", not '" + text + "'");
    return value;
}

// Walks the arguments the way the mariadb client takes them: "--name=value" or
// "--name value" for long options, "-xVALUE" or "-x VALUE" for short ones.
class ArgumentReader {
public:
    explicit ArgumentReader(const std::vector<std::string>& args) : args_(args) {}

    bool done() const { return next_ >= args_.size(); }
    const std::string& current() const { return current_; }
    void advance() { current_ = args_[next_++]; }

    // Whether the current argument is `longname` or `shortname`; when it is, `value`
    // holds its value, taken from the next argument if not attached.
    bool takes(const std::string& longname, const std::string& shortname, std::string& value) {
        if (!shortname.empty() && current_.compare(0, shortname.size(), shortname) == 0) {
            if (current_.size() > shortname.size()) {
                value = current_.substr(shortname.size());
                return true;
            }
            return following(value);
        }
        if (current_ == longname) return following(value);
        if (current_.compare(0, longname.size() + 1, longname + "=") == 0) {
            value = current_.substr(longname.size() + 1);
            return true;
        }
        return false;
    }

private:
    bool following(std::string& value) {
        if (done()) throw std::invalid_argument(current_ + " wants a value");
        value = args_[next_++];
        return true;
    }

    const std::vector<std::string>& args_;
    std::size_t next_ = 0;
    std::string current_;
};

}  // namespace

ReportOptions parsereportoptions(const std::vector<std::string>& args) {
    ReportOptions options;
    ConnectionSettings& connection = options.connection;
    ArgumentReader reader(args);
    std::string value;
    while (!reader.done()) {
        reader.advance();
        const std::string& arg = reader.current();
        if (arg == "--help" || arg == "-?") {
            options.help = true;
        } else if (arg == "--password" || arg == "-p") {
            connection.askpassword = true;
        } else if (arg.compare(0, 2, "-p") == 0) {
            connection.password = arg.substr(2);
        } else if (arg.compare(0, 11, "--password=") == 0) {
            connection.password = arg.substr(11);
        } else if (reader.takes("--since", "", value)) {
            options.since = parsetimebound("--since", value);
        } else if (reader.takes("--until", "", value)) {
            options.until = parsetimebound("--until", value);
        } else if (reader.takes("--mote", "", value)) {
            options.motes.push_back(static_cast<int>(parsewhole("--mote", value, 2147483647)));
        } else if (reader.takes("--out", "-o", value)) {
            options.out = value;
        } else if (reader.takes("--host", "-h", value)) {
            connection.host = value;
        } else if (reader.takes("--user", "-u", value)) {
            connection.user = value;
        } else if (reader.takes("--socket", "-S", value)) {
            connection.socket = value;
        } else if (reader.takes("--port", "-P", value)) {
            connection.port = static_cast<unsigned>(parsewhole("--port", value, 65535));
        } else if (reader.takes("--defaults-file", "", value)) {
            connection.defaultsfile = value;
        } else if (arg == "--ssl" || arg == "--skip-ssl") {
            connection.ssl = arg == "--ssl";
        } else if (arg == "--ssl-verify-server-cert") {
            connection.verifyservercert = true;
        } else if (reader.takes("--ssl-ca", "", value)) {
            connection.sslca = value;
            connection.ssl = true;
        } else if (reader.takes("--ssl-cert", "", value)) {
            connection.sslcert = value;
            connection.ssl = true;
        } else if (reader.takes("--ssl-key", "", value)) {
            connection.sslkey = value;
            connection.ssl = true;
        } else {
            throw std::invalid_argument("unknown argument '" + arg + "' (see --help)");
        }
    }
    if (options.since && options.until && !options.since->isspan && !options.until->isspan &&
        options.since->seconds > options.until->seconds)
        throw std::invalid_argument("--since " + formatwall(options.since->seconds) +
                                    " is after --until " + formatwall(options.until->seconds));
    return options;
}

std::string reportusage() {
    return R"(usage: motelog-report [OPTIONS]
Writes one HTML page with charts of light, temperature and humidity per mote and a summary
of every mote's readings, from the table marrowby.test_data.

  --since WHEN       first time shown: 'YYYY-MM-DD[ HH:MM[:SS]]' or a span back from the
                     end, like 24h, 90m, 7d (default: the first reading of the last 24h)
  --until WHEN       last time shown: a time, or a span back from the newest reading
                     (default: the newest reading)
  --mote N           only mote N; may be repeated
  --out FILE, -o     the page to write (default: motelog-report.html)
  --help             this text

Connection, as the mariadb client takes it (the [client] group of the usual option files,
MYSQL_UNIX_PORT and MYSQL_TCP_PORT apply too):
  --defaults-file=FILE     read the options of this file instead
  --host=NAME, -h NAME     --user=NAME, -u NAME     --port=N, -P N     --socket=PATH, -S PATH
  --password=SECRET, -pSECRET   (a bare --password or -p asks for it)
  --ssl, --skip-ssl        TLS whenever the server offers it (the default), or never
  --ssl-verify-server-cert require TLS, with the server's certificate checked against the
                           CA and its name against the host
  --ssl-ca=FILE            that CA (default: the system's)
  --ssl-cert=FILE, --ssl-key=FILE   a client certificate, for accounts that require X509
  (ssl-ca=, ssl-cert=, ssl-key= and ssl-verify-server-cert in an option file apply too,
  and take precedence over the same option on the command line)

Exit status: 0 when the page was written, 1 when it was not, 2 for a wrong command line.
)";
}

}  // namespace report
