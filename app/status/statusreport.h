// `motelog --status`: the running motelog's status file, for a person.
#pragma once

#include <string>

// Where a running motelog writes its status: MOTELOG_STATUS when set (empty: nowhere),
// else the service's runtime directory ($RUNTIME_DIRECTORY/status), else
// /run/motelog/status when that directory exists; empty when nowhere.
std::string statusfilepath();

// Prints the status file (MOTELOG_STATUS, else /run/motelog/status) with a first line
// that says whether motelog runs. Returns the exit status: 0 running, with a status of
// the last few seconds; 1 running but the status is stale; 3 not running or no status.
int runstatusreport();
