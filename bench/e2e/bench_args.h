// The benchmarks' command lines: "--name value" pairs over defaults.
#pragma once

#include <initializer_list>
#include <map>
#include <string>

// The pairs of `argv` over `defaults`. Throws std::invalid_argument when one of
// `required` is missing.
std::map<std::string, std::string> benchArgs(int argc, char** argv,
                                             std::map<std::string, std::string> defaults,
                                             std::initializer_list<const char*> required);
