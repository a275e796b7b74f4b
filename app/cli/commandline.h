// motelog's command line: no arguments starts the logger; a few options inform or check.
#pragma once

#include <string>

enum class Command { Run, Check, Status, Help, Version, Misuse };

struct CommandLine {
    Command command = Command::Run;
    std::string problem;  // with Misuse: what was wrong, e.g. "unknown option '-x'"
};

CommandLine parsecommandline(int argc, const char* const* argv);

// The --help text: what motelog does, its options and environment, where the README is.
std::string usagetext();

// "motelog VERSION".
std::string versiontext();
