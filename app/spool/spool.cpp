#include "spool.h"

#include <sys/stat.h>

#include <cerrno>
#include <iostream>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace {

const std::string& madedirectory(const std::string& dir) {
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        throw std::system_error(errno, std::generic_category(), "cannot create the spool directory " + dir);
    return dir;
}

}  // namespace

Spool::Spool(const SpoolSettings& settings, std::ostream& report)
    : report_(report),
      lock_(madedirectory(settings.dir)),
      progress_(settings.dir, report),
      journal_(settings.dir, settings.capbytes, progress_.current().stored, report),
      sink_(journal_, settings.dir, settings.capbytes, report),
      start_(storestart(settings.dir, progress_, journal_, report)) {
    // A new spool records its station at once, so that a progress file found missing later
    // means one that was lost.
    if (progress_.found() == ProgressFile::Found::Fresh && journal_.end() == journal_.begin())
        progress_.write(Progress{start_.station, start_.stored, start_.durable});
}

void Spool::start(const DbSettings& settings) {
    store_ = std::make_unique<SpoolStore>(journal_, progress_, settings, start_, report_);
    store_->start();
    std::thread([this] {
        for (;;) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            journal_.sync();
        }
    }).detach();
}

JournalWaiting Spool::waiting() {
    return journal_.waiting(store_ ? store_->storedupto() : start_.stored);
}

int openspool(std::unique_ptr<Spool>& spool) {
    try {
        const std::optional<SpoolSettings> settings = spoolsettingsfromenvironment();
        if (settings) spool = std::make_unique<Spool>(*settings, std::cerr);
        return 0;
    } catch (const SpoolInUse& error) {
        std::cerr << "motelog: " << error.what() << '\n';
        return SpoolInUseStatus;
    } catch (const std::exception& error) {
        std::cerr << "motelog: cannot use the spool: " << error.what() << '\n';
        return SpoolUnusableStatus;
    }
}
