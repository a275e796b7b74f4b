// Reads what a report shows from the server and draws its charts.
#pragma once

#include "options.h"
#include "page.h"

namespace report {

// The time a report covers, from the options and the newest reading: spans in --until
// count back from the newest reading, spans in --since from the end of the window.
// Throws std::runtime_error when the window ends before it starts.
Window reportwindow(const ReportOptions& options, WallSeconds newest);

// Connects as `options` say and reads everything the page shows.
ReportContent assemblereport(const ReportOptions& options);

}  // namespace report
