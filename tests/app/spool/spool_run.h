// motelog in spool mode as the tests run it: a child process on a pty, its spool in a
// fresh directory, and packets sent at a pace while its output is read.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "child_process.h"
#include "line_bytes.h"
#include "pty_pair.h"

// An empty directory named after NAME and the process under the test's temporary directory.
std::string freshdirectory(const std::string& name);

// Starts motelog with `args` on `pty` with `clientenv` (the server's client settings), the
// spool in `spool`, and `extra` settings on top; its standard output goes to `tracefile`
// when one is named.
std::unique_ptr<ChildProcess> startspooled(const PtyPair& pty,
                                           const std::vector<std::string>& clientenv,
                                           const std::string& spool,
                                           const std::vector<std::string>& extra = {},
                                           const std::vector<std::string>& args = {},
                                           const std::string& tracefile = "");

// A packet of mote `moteid` with one reading of a type stored raw, whose value is `raw`.
Bytes rawpacket(std::uint16_t moteid, std::uint16_t raw = 7);
// `count` such packets of motes from `first` on, each with a mote id of its own.
std::vector<Bytes> packetsfrom(int first, int count);

// Sends `packets` one every `interval`, reading the program's output meanwhile so that it
// never blocks on a full pipe; `before(i)` runs before packet i is sent. Returns each
// packet's send time on the wall clock, in seconds since the epoch.
std::vector<double> sendpaced(const PtyPair& pty, ChildProcess& run, const std::vector<Bytes>& packets,
                              std::chrono::microseconds interval,
                              const std::function<void(std::size_t)>& before = {});

// A motelog that a test feeds with packets of its own: its line, the program, and the
// mote id of the next packet.
struct Feed {
    const PtyPair& pty;
    ChildProcess& run;
    std::uint16_t nextmote;
};

// Sends a rawpacket() to every feed each `interval`, the mote ids counting up from each
// feed's nextmote, for as long as `goon()` holds; reads the programs' output meanwhile.
void feedwhile(const std::vector<Feed*>& feeds, std::chrono::microseconds interval,
               const std::function<bool()>& goon);

// Reads the program's output until `done()` holds or `timeout` has passed; returns done().
bool readuntil(ChildProcess& run, const std::function<bool()>& done, std::chrono::milliseconds timeout);

// A small tmpfs at `path`, unmounted again when the test ends: 24 KiB, six pages, of which
// the spool's small files take three, far less than one journal segment. Mounting needs
// root, as CI has.
class SmallDisk {
public:
    explicit SmallDisk(const std::string& path);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& error() const { return error_; }

private:
    std::string path_;
    bool mounted_;
    std::string error_;
};

// The records the journal files in `spool` hold.
std::size_t journaledrecords(const std::string& spool);
