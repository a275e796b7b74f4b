#include "bench_args.h"

#include <stdexcept>

std::map<std::string, std::string> benchArgs(int argc, char** argv,
                                             std::map<std::string, std::string> defaults,
                                             std::initializer_list<const char*> required) {
    for (int i = 1; i + 1 < argc; i += 2) defaults[argv[i]] = argv[i + 1];
    for (const char* name : required)
        if (!defaults.count(name)) throw std::invalid_argument(std::string("missing ") + name);
    return defaults;
}
