#include "comm_api.h"
#include "handle_registry.h"
#include "last_error.h"

BOOL CloseHandle(HANDLE hObject) {
    std::shared_ptr<KernelObject> object = unregisterHandle(hObject);
    if (!object) return fail(ERROR_INVALID_HANDLE);
    object->onHandleClosed();
    return TRUE;
}
