#include "storestart.h"

#include "spoolnonce.h"

StoreStart storestart(const std::string& dir, const ProgressFile& progress, const Journal& journal,
                      std::ostream& report) {
    StoreStart start;
    const StationId recorded = progress.current().station;
    start.station = stationidof(dir, spoolnonce(dir));
    start.stored = progress.current().stored;
    start.durable = progress.current().durable;
    start.journalend = journal.end();
    switch (progress.found()) {
        case ProgressFile::Found::Current:
            start.newstation = recorded != start.station;
            if (start.newstation)
                report << "motelog: spool " + dir + " was stored as station " +
                              stationtext(recorded) + "; here it is station " +
                              stationtext(start.station) +
                              " (another machine, or a copy of the spool): the new station counts "
                              "as stored what its spool does\n"
                       << std::flush;
            break;
        case ProgressFile::Found::Upgraded:
            start.newstation = true;
            start.legacy = progress.legacybatch();
            break;
        case ProgressFile::Found::Fresh:
            if (journal.end() > journal.begin())
                report << "motelog: spool progress " + dir +
                              "/progress is missing; the database's record of this station "
                              "decides what is stored\n"
                       << std::flush;
            [[fallthrough]];
        case ProgressFile::Found::Damaged:
            start.stored = start.durable = journal.begin();
            break;
    }
    return start;
}
