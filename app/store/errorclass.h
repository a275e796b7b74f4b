// What a database error number means for the logger: wait it out, have an administrator
// fix it, or give up on the statement until the server changes.
#pragma once

#include <string>

enum class ErrorClass {
    Transient,       // the server or the network: retried, reported as an outage
    Administrative,  // accounts, grants, schema: an outage until an administrator fixes it
    Permanent,       // the server will never take the statement: its own line, retried slowly
};

constexpr unsigned AccessDenied = 1045;  // a wrong password, or no account for this host

// The class of a client library or server error number; numbers not in the table (and
// 0, an error of our own) are transient.
ErrorClass classifyerror(unsigned code);

// What an operator can do about error `code`, as a clause to follow the error's text; ""
// where the error's text says it all.
std::string erroradvice(unsigned code);

// Deadlocks and Galera's certification conflicts: the transaction is simply tried again.
bool retryatonce(unsigned code);
