#include "station.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

namespace {

// `settings` in this process's environment while it lives, for a child to inherit.
class ScopedEnvironment {
public:
    explicit ScopedEnvironment(const Settings& settings) {
        for (const auto& setting : settings) {
            const char* old = std::getenv(setting.first.c_str());
            saved_.emplace_back(setting.first, old ? std::optional<std::string>(old) : std::nullopt);
            setenv(setting.first.c_str(), setting.second.c_str(), 1);
        }
    }
    ~ScopedEnvironment() {
        for (const auto& [name, value] : saved_) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace

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
    const ScopedEnvironment environment(all);
    logger_ = std::make_unique<LoggerProcess>(motelog, line_.farEndPath(), workDir + "/" + name + ".trace",
                                              errorFile_);
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
