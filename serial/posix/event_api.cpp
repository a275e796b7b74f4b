// Events, waits and Sleep of the Win32 API.
#include "comm_api.h"
#include "event_object.h"
#include "handle_registry.h"
#include "last_error.h"

#include <chrono>
#include <new>
#include <thread>

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState,
                    LPCSTR lpName) {
    // Named events would be shared between processes; nothing here needs them.
    if (lpName != nullptr) {
        fail(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    try {
        return registerHandle(
            std::make_shared<EventObject>(bManualReset != FALSE, bInitialState != FALSE));
    } catch (const std::bad_alloc&) {
        fail(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

BOOL SetEvent(HANDLE hEvent) {
    std::shared_ptr<EventObject> event = findHandleOf<EventObject>(hEvent);
    if (!event) return FALSE;
    event->set();
    return TRUE;
}

BOOL ResetEvent(HANDLE hEvent) {
    std::shared_ptr<EventObject> event = findHandleOf<EventObject>(hEvent);
    if (!event) return FALSE;
    event->reset();
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    std::shared_ptr<EventObject> event = findHandleOf<EventObject>(hHandle);
    if (!event) return WAIT_FAILED;
    return event->wait(dwMilliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

void Sleep(DWORD dwMilliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}
