// The common frame of the Win32 calls on a port handle: find the port, run the action,
// turn its Win32 code into the BOOL result and the thread's last error. Nothing may
// escape as an exception into C-style callers.
#pragma once

#include "comm_api.h"
#include "handle_registry.h"
#include "last_error.h"
#include "port.h"

#include <new>
#include <system_error>

// Runs `body` (returning BOOL), mapping an allocation or thread failure to its code.
template <typename Body>
BOOL guardedCall(Body body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    } catch (const std::system_error&) {
        return fail(ERROR_NO_SYSTEM_RESOURCES);
    }
}

// Runs `action(Port&)` (returning a Win32 code) on the port behind `handle`.
template <typename Action>
BOOL callOnPort(HANDLE handle, Action action) noexcept {
    return guardedCall([&]() -> BOOL {
        std::shared_ptr<Port> port = findHandleOf<Port>(handle);
        if (!port) return FALSE;
        DWORD code = action(*port);
        return code == ERROR_SUCCESS ? TRUE : fail(code);
    });
}
