#include "dbhost.h"

#include <stdexcept>

namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

unsigned portof(const std::string& digits, const std::string& entry) {
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        throw std::invalid_argument("'" + entry + "' has no port number after its ':'");
    const unsigned long port = std::stoul(digits);
    if (port == 0 || port > 65535)
        throw std::invalid_argument("'" + entry + "' names port " + digits +
                                    ", outside 1 to 65535");
    return static_cast<unsigned>(port);
}

DbHost parseentry(const std::string& entry) {
    if (entry.empty()) throw std::invalid_argument("an entry of the list is empty");
    DbHost host;
    std::string rest;
    if (entry.front() == '[') {
        const auto close = entry.find(']');
        if (close == std::string::npos || close == 1)
            throw std::invalid_argument("'" + entry +
                                        "' opens an IPv6 address with '[' but does not close it");
        host.name = entry.substr(1, close - 1);
        rest = entry.substr(close + 1);
    } else {
        const auto colon = entry.find(':');
        if (colon != std::string::npos && entry.find(':', colon + 1) != std::string::npos)
            throw std::invalid_argument("'" + entry + "': write an IPv6 address in brackets, as [" +
                                        entry + "]");
        host.name = entry.substr(0, colon);
        rest = colon == std::string::npos ? "" : entry.substr(colon);
        if (host.name.empty()) throw std::invalid_argument("'" + entry + "' has no host name");
    }
    if (!rest.empty()) {
        if (rest.front() != ':')
            throw std::invalid_argument("'" + entry + "' has text after its address");
        host.port = portof(rest.substr(1), entry);
    }
    return host;
}

}  // namespace

std::vector<DbHost> parsehostlist(const std::string& text) {
    std::vector<DbHost> hosts;
    std::string::size_type start = 0;
    for (;;) {
        const auto comma = text.find(',', start);
        hosts.push_back(parseentry(trimmed(text.substr(start, comma - start))));
        if (comma == std::string::npos) return hosts;
        start = comma + 1;
    }
}

std::string hostlistproblem(const std::string& text) {
    try {
        parsehostlist(text);
        return "";
    } catch (const std::invalid_argument& error) {
        return error.what();
    }
}

std::string hosttext(const DbHost& host) {
    const bool v6 = host.name.find(':') != std::string::npos;
    std::string text = v6 ? "[" + host.name + "]" : host.name;
    if (host.port != 0) text += ":" + std::to_string(host.port);
    return text;
}
