// Storing one data packet's readings, with its console trace.
#pragma once

#include <mysql++.h>

#include <string>

#include "dbsettings.h"
#include "motepacket.h"

// Decodes, converts, traces and stores every reading of `packet` over a connection of its
// own, closed again before returning. Returns false after a database failure, which it
// has written on standard error; rows stored before the failure stay.
bool storepacket(const MotePacket& packet, const DbSettings& settings);

// The standard-error line for a value the database layer could not convert.
std::string conversionerrortext(const mysqlpp::BadConversion& error);
