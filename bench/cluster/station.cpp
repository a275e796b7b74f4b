#include "station.h"

#include <filesystem>
#include <fstream>

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

Station::Station(const std::string& motelog, const std::string& workDir, const std::string& name,
                 const Settings& settings, bool keepSpool)
    : errorFile_(workDir + "/" + name + ".err"),
      line_([this] { return logger_ && !logger_->running(); }),
      trace_(workDir + "/" + name + ".trace") {
    const std::string spool = workDir + "/" + name + ".spool";
    if (!keepSpool) std::filesystem::remove_all(spool);
    std::filesystem::remove(workDir + "/" + name + ".trace");
    Settings all = settings;
    all.emplace_back("MOTELOG_SPOOL", spool);
    logger_ = std::make_unique<LoggerProcess>(motelog, line_.farEndPath(), workDir + "/" + name + ".trace",
                                              errorFile_, all);
}

double Station::send(const motesim::Frame& frame) {
    if (!line_.send(frame.data(), frame.size())) return -1;
    return steadySeconds();
}

std::string Station::firstError() const {
    std::ifstream errors(errorFile_);
    std::string line;
    std::getline(errors, line);
    return line;
}
