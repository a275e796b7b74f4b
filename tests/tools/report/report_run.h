// motelog-report run as a child process against the private test server, and what its
// page shows, read back from the HTML and the inline SVG.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "test_database.h"

struct ReportRun {
    int status = -1;
    std::string out;
    std::string err;
    std::string page;  // empty when no page was written
};

// A test on the report's own server, starting from an empty table.
class ReportTest : public DatabaseTest {
protected:
    void SetUp() override;
};

// Runs the program as the server's root user, writing to `pagepath` (removed first) unless
// `args` say otherwise, with the environment changed as ChildProcess takes it.
ReportRun runreport(const std::vector<std::string>& args, const std::string& pagepath,
                    const std::vector<std::string>& environment = {});

// The summary table's rows, cell texts in column order.
std::vector<std::vector<std::string>> summaryrows(const std::string& page);

// One line of a chart as gnuplot drew it.
struct DrawnLine {
    int points = 0;  // point markers
    int runs = 0;    // pieces the line is drawn in
};

// The lines of the chart of `datatype`, by their legend text ("mote 2").
std::map<std::string, DrawnLine> chartlines(const std::string& page, int datatype);

// The inline <svg> elements of the page, in order.
std::vector<std::string> svgelements(const std::string& page);

// Fills the table with the known rows: motes 1 to 3, data types 1 to 3, a reading a
// minute from 2026-01-01 00:00 on, with mote 2 silent from 00:30 to 00:59, mote 3 only
// in the first ten minutes, and two raw readings (type 7) of mote 3 at the extremes a
// DOUBLE column holds. The value of minute m is mote*100 + type*10 + m % 7.
void fillknownrows(TestDatabase& db);

// The minutes in which `mote` sent readings of types 1 to 3.
std::vector<int> knownminutes(int mote);
