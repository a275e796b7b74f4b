#include "lifecycle.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "atomicfile.h"
#include "notify.h"
#include "stagebeat.h"
#include "stationstatus.h"
#include "statusreport.h"
#include "statustext.h"
#include "tracechannel.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto StatusEvery = 2s;
constexpr auto SummaryEvery = 60s;
constexpr auto StuckWithoutWatchdog = 60s;

std::optional<AtomicFile> fileat(const std::string& path, const char* what) {
    if (path.empty()) return std::nullopt;
    return AtomicFile(path, what);
}

// Which stage has been busy with one step for longer than `limit`, in words; empty when
// none has.
std::string stuckstage(Clock::duration limit) {
    const std::pair<const char*, StageBeat*> stages[] = {{"the reader loop", &loopstage()},
                                                         {"the store", &storestage()}};
    for (const auto& [name, stage] : stages) {
        const Clock::duration busy = stage->busyfor();
        if (busy > limit)
            return std::string(name) + ", busy with one step for " +
                   std::to_string(std::chrono::duration_cast<std::chrono::seconds>(busy).count()) +
                   " s";
    }
    return "";
}

class Service {
public:
    Service()
        : status_(fileat(statusfilepath(), "status file")),
          metrics_(fileat(std::getenv("MOTELOG_METRICS") ? std::getenv("MOTELOG_METRICS") : "",
                          "metrics file")),
          watchdog_(watchdogperiod()),
          summarybase_(station().snapshot()) {}

    void run() {
        const Clock::duration stuckafter = watchdog_.count() > 0
                                               ? Clock::duration(watchdog_)
                                               : Clock::duration(StuckWithoutWatchdog);
        const Clock::duration tick =
            watchdog_.count() > 0 ? std::min<Clock::duration>(500ms, watchdog_ / 2) : 500ms;
        Clock::time_point nextstatus = Clock::now();
        Clock::time_point nextsummary = Clock::now() + SummaryEvery;
        bool wasstuck = false;
        for (;;) {
            const std::string stuck = stuckstage(stuckafter);
            if (!stuck.empty() && !wasstuck)
                std::cerr << "motelog: " + stuck +
                                 (watchdog_.count() > 0
                                      ? "; the watchdog is no longer told that motelog works"
                                      : "") +
                                 "\n";
            if (stuck.empty() && wasstuck)
                std::cerr << std::string("motelog: the reader loop and the store work again\n");
            wasstuck = !stuck.empty();
            station().stuck(stuck);
            if (stuck.empty() && watchdog_.count() > 0) pingwatchdog();
            const Clock::time_point now = Clock::now();
            if (now >= nextstatus) {
                nextstatus = now + StatusEvery;
                const bool summarydue = now >= nextsummary;
                if (summarydue) nextsummary = now + SummaryEvery;
                report(station().snapshot(), summarydue);
            }
            std::this_thread::sleep_for(tick);
        }
    }

    // Writes the files, and the summary line when `summary`; once stopped, nothing more.
    void report(const StatusFigures& figures, bool summary) {
        const std::lock_guard<std::mutex> guard(mutex_);
        if (stopped_) return;
        stopped_ = figures.stopped;
        if (status_) status_->write(statustext(figures, getpid()));
        if (metrics_) metrics_->write(metricstext(figures));
        notifystatus(std::to_string(figures.packetsstored) + " packets stored, " +
                     std::to_string(figures.backlog.packets) + " waiting; port " +
                     (figures.portopen ? "open" : "not open") + ", database " +
                     (figures.databasedown ? "down" : "up"));
        if (summary || figures.stopped) {
            tracesummary(summaryline(summarybase_, figures));
            summarybase_ = figures;
        }
    }

private:
    std::mutex mutex_;
    std::optional<AtomicFile> status_;
    std::optional<AtomicFile> metrics_;
    const std::chrono::microseconds watchdog_;
    StatusFigures summarybase_;
    bool stopped_ = false;
};

// Set once by startservice; never destroyed, as its thread runs until the process ends.
std::atomic<Service*> service{nullptr};

}  // namespace

void startservice() {
    auto* started = new Service;
    service = started;
    std::thread([started] { started->run(); }).detach();
    notifyready();
}

void finishservice(std::chrono::milliseconds drainlimit) {
    if (Service* const running = service) {
        StatusFigures figures = station().snapshot();
        figures.stopped = true;
        running->report(figures, true);
    }
    drainedtrace(drainlimit);
}
