// The table of open handles. A HANDLE is an opaque token that is looked up here, so an
// unknown, closed or null handle fails cleanly instead of being dereferenced. Tokens
// are never reused, so a stale handle cannot reach a newer object.
#pragma once

#include "comm_api.h"
#include "kernel_object.h"

#include <memory>

// Registers `object` and returns its new handle.
HANDLE registerHandle(std::shared_ptr<KernelObject> object);
// The object behind `handle`, or null when the handle is not open.
std::shared_ptr<KernelObject> findHandle(HANDLE handle);
// Removes `handle` and returns its object, or null when the handle is not open.
std::shared_ptr<KernelObject> unregisterHandle(HANDLE handle);

// The object behind `handle` if it is a T; otherwise null with the thread's last error
// set to ERROR_INVALID_HANDLE.
template <typename T>
std::shared_ptr<T> findHandleOf(HANDLE handle) {
    std::shared_ptr<T> object = std::dynamic_pointer_cast<T>(findHandle(handle));
    if (!object) SetLastError(ERROR_INVALID_HANDLE);
    return object;
}
