#include "errorclass.h"

namespace {

struct KnownError {
    unsigned code;
    ErrorClass kind;
    const char* advice;
};

constexpr const char* GrantAdvice =
    "the logger's account needs INSERT on marrowby.test_data and SELECT, INSERT, UPDATE on "
    "marrowby.motelog_station: load sql/schema.sql again, or grant them";
constexpr const char* SchemaAdvice = "load sql/schema.sql into the server";
constexpr const char* ServerAdvice =
    "motelog needs a MariaDB or MySQL server with InnoDB transactions (MariaDB 10.3, MySQL 5.7 "
    "or later)";

// One table for both modes; the client library's numbers are 2000 and up.
constexpr KnownError Table[] = {
    {1040, ErrorClass::Transient, ""},  // too many connections
    {1047, ErrorClass::Transient, ""},  // a Galera node not ready (joining, no quorum)
    {1053, ErrorClass::Transient, ""},  // server shutdown in progress
    {1152, ErrorClass::Transient, ""},  // aborted connection
    {1158, ErrorClass::Transient, ""},  // network read error
    {1159, ErrorClass::Transient, ""},  // network read time-out
    {1160, ErrorClass::Transient, ""},  // network write error
    {1161, ErrorClass::Transient, ""},  // network write time-out
    {1180, ErrorClass::Transient, ""},  // error during commit
    {1205, ErrorClass::Transient, ""},  // lock wait time-out: an older connection holds the row
    {1213, ErrorClass::Transient, ""},  // deadlock, or a Galera certification conflict
    {1290, ErrorClass::Transient, ""},  // read-only: a replica, or a primary being switched
    {1317, ErrorClass::Transient, ""},  // query interrupted
    {1792, ErrorClass::Transient, ""},  // read-only transaction
    {1927, ErrorClass::Transient, ""},  // connection killed
    {4031, ErrorClass::Transient, ""},  // disconnected by the server for inactivity
    {2002, ErrorClass::Transient, ""},  // can't connect through the socket
    {2003, ErrorClass::Transient, ""},  // can't connect to the host
    {2005, ErrorClass::Transient, ""},  // unknown host: a name service that is down
    {2006, ErrorClass::Transient, ""},  // server has gone away
    {2013, ErrorClass::Transient, ""},  // lost connection during a query
    {2055, ErrorClass::Transient, ""},  // lost connection at a system call
    {1044, ErrorClass::Administrative, GrantAdvice},  // database access denied
    {AccessDenied, ErrorClass::Administrative,
     "the password is MOTELOG_DB_PASSWORD's, or the built-in one when it is unset"},
    {1049, ErrorClass::Administrative, SchemaAdvice},  // unknown database
    {1054, ErrorClass::Administrative, SchemaAdvice},  // unknown column
    {1130, ErrorClass::Administrative,
     "the server has no account for the logger at this machine's address (see the README)"},
    {1142, ErrorClass::Administrative, GrantAdvice},   // command denied on a table
    {1143, ErrorClass::Administrative, GrantAdvice},   // command denied on a column
    {1146, ErrorClass::Administrative, SchemaAdvice},  // table doesn't exist
    {1227, ErrorClass::Administrative, GrantAdvice},   // a privilege missing
    {1698, ErrorClass::Administrative, GrantAdvice},   // access denied (no password)
    {1820, ErrorClass::Administrative, "the logger's account must have its password reset"},
    {1862, ErrorClass::Administrative, "the logger's account has an expired password"},
    {1064, ErrorClass::Permanent, ServerAdvice},  // syntax the server does not know
    {1178, ErrorClass::Permanent, ServerAdvice},  // the storage engine lacks a feature
    {1235, ErrorClass::Permanent, ServerAdvice},  // "doesn't yet support"
    {1286, ErrorClass::Permanent, ServerAdvice},  // unknown storage engine
    {1289, ErrorClass::Permanent, ServerAdvice},  // a feature disabled in this server
};

const KnownError* lookup(unsigned code) {
    for (const KnownError& known : Table)
        if (known.code == code) return &known;
    return nullptr;
}

}  // namespace

ErrorClass classifyerror(unsigned code) {
    const KnownError* known = lookup(code);
    return known ? known->kind : ErrorClass::Transient;
}

std::string erroradvice(unsigned code) {
    const KnownError* known = lookup(code);
    return known ? known->advice : "";
}

bool retryatonce(unsigned code) { return code == 1213; }
