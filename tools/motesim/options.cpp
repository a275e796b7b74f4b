#include "options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <stdexcept>

namespace motesim {

namespace {

std::uint64_t parseWhole(const std::string& option, const std::string& text) {
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || text[0] < '0' || text[0] > '9' || *end != '\0' || errno == ERANGE)
        throw std::invalid_argument(option + " wants a whole number, not '" + text + "'");
    return value;
}

unsigned parseWhole(const std::string& option, const std::string& text, unsigned low,
                    unsigned high) {
    const std::uint64_t value = parseWhole(option, text);
    if (value < low || value > high)
        throw std::invalid_argument(option + " wants " + std::to_string(low) + " to " +
                                    std::to_string(high) + ", not " + text);
    return static_cast<unsigned>(value);
}

std::string shortText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

double parseNumber(const std::string& option, const std::string& text, double low, double high) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value) || value < low || value > high)
        throw std::invalid_argument(option + " wants a number from " + shortText(low) + " to " +
                                    shortText(high) + ", not '" + text + "'");
    return value;
}

}  // namespace

Options parseOptions(const std::vector<std::string>& args) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (option == "--help" || option == "-h") {
            options.help = true;
            continue;
        }
        if (option == "--pty") {
            options.usePty = true;
            continue;
        }
        static const char* const kValueOptions[] = {"--device",   "--link", "--rate",   "--count",
                                                    "--motes",    "--readings", "--seed", "--corrupt"};
        if (std::find(std::begin(kValueOptions), std::end(kValueOptions), option) ==
            std::end(kValueOptions))
            throw std::invalid_argument("unknown option " + option);
        if (i + 1 == args.size()) throw std::invalid_argument(option + " needs a value");
        const std::string& value = args[++i];
        if (option == "--device")
            options.device = value;
        else if (option == "--link")
            options.link = value;
        else if (option == "--rate")
            options.rate = parseNumber(option, value, 0, 1e9);
        else if (option == "--count")
            options.count = parseWhole(option, value);
        else if (option == "--motes")
            options.traffic.motes = parseWhole(option, value, 1, 65535);
        else if (option == "--readings")
            options.traffic.readingsPerFrame = parseWhole(option, value, 1, static_cast<unsigned>(kMaxReadings));
        else if (option == "--seed")
            options.traffic.seed = parseWhole(option, value);
        else
            options.traffic.corruptShare = parseNumber(option, value, 0, 1);
    }
    if (!options.help && options.usePty == !options.device.empty())
        throw std::invalid_argument("give either --device NAME or --pty");
    if (!options.link.empty() && !options.usePty)
        throw std::invalid_argument("--link goes with --pty");
    return options;
}

const char* usageText() {
    return "usage: motesim (--device NAME | --pty) [options]\n"
           "Plays the base-station mote: writes 36-byte mote packets onto a serial line.\n"
           "  --device NAME   port to write to: COMn (see the COMn variables) or a device path;\n"
           "                  opened at 57600 baud, 8N1, hardware handshaking\n"
           "  --pty           create a pseudo-terminal pair, print the path of its far end on\n"
           "                  standard output and write there once a reader opens it\n"
           "  --link PATH     with --pty: make PATH a symbolic link to the far end, replacing\n"
           "                  what PATH was in one step (a restarted simulator takes it over)\n"
           "  --rate N        packets per second (default 160, the 57600-baud line rate;\n"
           "                  0 = as fast as the line takes them)\n"
           "  --count N       packets to send, corrupted ones included (default 0 = until stopped)\n"
           "  --motes N       motes reporting, ids 1..N in turn (default 4)\n"
           "  --readings N    readings per packet, 1..6 (default 6)\n"
           "  --seed N        seed of the deterministic packet sequence (default 1)\n"
           "  --corrupt SHARE share 0..1 of input that is not a data packet: stray bytes,\n"
           "                  swapped start bytes, len 0 or query packets (default 0)\n"
           "  --help, -h      this text\n";
}

}  // namespace motesim
