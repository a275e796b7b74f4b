#include "line_status_map.h"

#include <sys/ioctl.h>

namespace {

struct LineBit {
    int line;
    DWORD status;
    DWORD event;
};

constexpr LineBit kInputLines[] = {
    {TIOCM_CTS, MS_CTS_ON, EV_CTS},
    {TIOCM_DSR, MS_DSR_ON, EV_DSR},
    {TIOCM_RNG, MS_RING_ON, EV_RING},
    {TIOCM_CAR, MS_RLSD_ON, EV_RLSD},
};

// Counters wrap around; any difference means something was counted.
bool counted(int before, int now) { return before != now; }

}  // namespace

DWORD modemStatusFromLines(int lines) {
    DWORD status = 0;
    for (const LineBit& bit : kInputLines) {
        if (lines & bit.line) status |= bit.status;
    }
    return status;
}

DWORD eventsFromLineChange(int before, int now) {
    DWORD events = 0;
    for (const LineBit& bit : kInputLines) {
        if ((before ^ now) & bit.line) events |= bit.event;
    }
    return events;
}

DWORD errorsFromCounters(const serial_icounter_struct& before, const serial_icounter_struct& now) {
    DWORD errors = 0;
    if (counted(before.overrun, now.overrun) || counted(before.buf_overrun, now.buf_overrun)) {
        errors |= CE_OVERRUN;
    }
    if (counted(before.parity, now.parity)) errors |= CE_RXPARITY;
    if (counted(before.frame, now.frame)) errors |= CE_FRAME;
    if (counted(before.brk, now.brk)) errors |= CE_BREAK;
    return errors;
}

DWORD eventsFromCounters(const serial_icounter_struct& before, const serial_icounter_struct& now) {
    DWORD events = 0;
    if (counted(before.brk, now.brk)) events |= EV_BREAK;
    if (errorsFromCounters(before, now) & (CE_OVERRUN | CE_RXPARITY | CE_FRAME)) events |= EV_ERR;
    return events;
}
