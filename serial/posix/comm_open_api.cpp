// CreateFileA for serial ports.
#include "comm_api.h"
#include "handle_registry.h"
#include "last_error.h"
#include "port.h"
#include "port_call.h"
#include "port_name.h"

HANDLE CreateFileA(LPCSTR lpFileName, DWORD, DWORD, LPSECURITY_ATTRIBUTES,
                   DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    // A serial port always has exactly one owner, whatever share mode is asked for,
    // and it can only be opened, never created.
    HANDLE handle = INVALID_HANDLE_VALUE;
    guardedCall([&]() -> BOOL {
        if (dwCreationDisposition != OPEN_EXISTING || hTemplateFile != nullptr) {
            return fail(ERROR_INVALID_PARAMETER);
        }
        std::string path;
        if (DWORD invalid = resolvePortName(lpFileName, path)) return fail(invalid);
        std::shared_ptr<Port> port;
        bool overlapped = (dwFlagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0;
        if (DWORD refusal = Port::open(path, overlapped, port)) return fail(refusal);
        handle = registerHandle(port);
        return TRUE;
    });
    return handle;
}
