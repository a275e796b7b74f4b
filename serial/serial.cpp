#include "serial.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "diagnostics.h"

namespace {

// Bytes of a read buffer that the read did not deliver keep this value.
constexpr BYTE kUndeliveredFill = 0xDC;

// The flow-control fields of the DCB for each Handshake mode, indexed by the mode.
struct FlowControl {
    DWORD fOutxCtsFlow;
    DWORD fOutxDsrFlow;
    DWORD fDtrControl;
    DWORD fOutX;
    DWORD fInX;
    DWORD fRtsControl;
};
constexpr FlowControl kFlowControl[] = {
    {0, 0, DTR_CONTROL_DISABLE, 0, 0, RTS_CONTROL_DISABLE},      // HandshakeNone
    {1, 1, DTR_CONTROL_HANDSHAKE, 0, 0, RTS_CONTROL_HANDSHAKE},  // HandshakeHardware
    {0, 0, DTR_CONTROL_DISABLE, 1, 1, RTS_CONTROL_DISABLE},      // HandshakeSoftware
};

// The code of the platform call that has just failed, as the class stores it.
LONG LastErrorCode() { return static_cast<LONG>(GetLastError()); }

// Opens a port for exclusive overlapped access; INVALID_HANDLE_VALUE on failure.
HANDLE OpenPortHandle(LPCSTR lpszDevice) {
    return CreateFileA(lpszDevice, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, nullptr);
}

}  // namespace

// ---- Object and port ------------------------------------------------------------------

CSerial::CSerial()
    : m_lErrorCode(ERROR_SUCCESS),
      m_hPort(nullptr),
      m_dwLastEvents(0),
      m_dwWatchedEvents(0),
      m_hevtOverlapped(nullptr) {}

CSerial::~CSerial() {
    if (m_hPort) {
        SERIAL_TRACE("CSerial::~CSerial - Serial port not closed\n");
        // Not through the virtual table: a derived part of the object is already gone.
        CSerial::Close();
    }
}

LONG CSerial::Open(LPCSTR lpszDevice, DWORD dwInQueue, DWORD dwOutQueue) {
    m_lErrorCode = ERROR_SUCCESS;
    if (m_hPort) {
        m_lErrorCode = ERROR_ALREADY_INITIALIZED;
        SERIAL_TRACE("CSerial::Open - Port already opened\n");
        return m_lErrorCode;
    }

    HANDLE hPort = OpenPortHandle(lpszDevice);
    if (hPort == INVALID_HANDLE_VALUE) {
        m_lErrorCode = LastErrorCode();
        SERIAL_TRACE("CSerial::Open - Unable to open port\n");
        return m_lErrorCode;
    }
    m_hPort = hPort;

    SERIAL_ASSERT(m_hevtOverlapped == 0);
    m_hevtOverlapped = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!m_hevtOverlapped) {
        m_lErrorCode = LastErrorCode();
        SERIAL_TRACE("CSerial::Open - Unable to create event\n");
        CloseHandle(m_hPort);
        m_hPort = nullptr;
        return m_lErrorCode;
    }

    if (dwInQueue || dwOutQueue) {
        SERIAL_ASSERT(dwInQueue >= 16);
        SERIAL_ASSERT(dwOutQueue >= 16);
        if (!SetupComm(m_hPort, dwInQueue, dwOutQueue)) {
            const LONG lSetupError = LastErrorCode();
            SERIAL_TRACE("CSerial::Open - Unable to setup the COM-port\n");
            Close();
            m_lErrorCode = lSetupError;
            return m_lErrorCode;
        }
    }

    // Their codes stay in m_lErrorCode; the port remains open either way.
    SetMask(DefaultEventMask);
    SetupReadTimeouts(ReadNonBlocking);

    // Start from the port's default configuration; a port without one keeps its state.
    COMMCONFIG commConfig{};
    commConfig.dwSize = sizeof(commConfig);
    DWORD dwConfigSize = sizeof(commConfig);
    if (!GetDefaultCommConfigA(lpszDevice, &commConfig, &dwConfigSize))
        SERIAL_TRACE("CSerial::Open - Unable to obtain default communication configuration.\n");
    else if (!SetCommConfig(m_hPort, &commConfig, dwConfigSize))
        SERIAL_TRACE("CSerial::Open - Unable to set default communication configuration.\n");

    return m_lErrorCode;
}

LONG CSerial::Close() {
    m_lErrorCode = ERROR_SUCCESS;
    if (!m_hPort) {
        SERIAL_TRACE("CSerial::Close - Method called when device is not open\n");
        return m_lErrorCode;
    }
    CloseHandle(m_hevtOverlapped);
    m_hevtOverlapped = nullptr;
    CloseHandle(m_hPort);
    m_hPort = nullptr;
    return m_lErrorCode;
}

CSerial::PortProbeResult CSerial::ProbePort(LPCSTR lpszDevice) {
    HANDLE hPort = OpenPortHandle(lpszDevice);
    if (hPort != INVALID_HANDLE_VALUE) {
        CloseHandle(hPort);
        return PortFree;
    }
    switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
            return PortAbsent;
        case ERROR_ACCESS_DENIED:
            return PortBusy;
        default:
            return PortProbeFailed;
    }
}

bool CSerial::RequirePort(const char* pszNotOpen) {
    m_lErrorCode = ERROR_SUCCESS;
    if (m_hPort) return true;
    m_lErrorCode = ERROR_INVALID_HANDLE;
    SERIAL_TRACE(pszNotOpen);
    return false;
}

void CSerial::CancelPendingIo() { CancelIo(m_hPort); }

// ---- Line settings ---------------------------------------------------------------------

bool CSerial::FetchState(SizedDcb& dcb, const char* pszNotOpen, const char* pszFailed) {
    if (!RequirePort(pszNotOpen)) return false;
    if (GetCommState(m_hPort, &dcb)) return true;
    m_lErrorCode = LastErrorCode();
    SERIAL_TRACE(pszFailed);
    return false;
}

LONG CSerial::StoreState(SizedDcb& dcb, const char* pszFailed) {
    if (!SetCommState(m_hPort, &dcb)) {
        m_lErrorCode = LastErrorCode();
        SERIAL_TRACE(pszFailed);
    }
    return m_lErrorCode;
}

LONG CSerial::Setup(BaudRate eBaudrate, DataBits eDataBits, Parity eParity, StopBits eStopBits) {
    SizedDcb dcb;
    if (!FetchState(dcb, "CSerial::Setup - Device is not opened\n",
                    "CSerial::Setup - Unable to obtain DCB information\n"))
        return m_lErrorCode;
    dcb.BaudRate = static_cast<DWORD>(eBaudrate);
    dcb.ByteSize = static_cast<BYTE>(eDataBits);
    dcb.Parity = static_cast<BYTE>(eParity);
    dcb.StopBits = static_cast<BYTE>(eStopBits);
    dcb.fParity = (eParity != ParityNone) ? 1 : 0;
    return StoreState(dcb, "CSerial::Setup - Unable to set DCB information\n");
}

LONG CSerial::SetEventChar(BYTE bEventChar, bool fAdjustMask) {
    SizedDcb dcb;
    if (!FetchState(dcb, "CSerial::SetEventChar - Device is not opened\n",
                    "CSerial::SetEventChar - Unable to obtain DCB information\n"))
        return m_lErrorCode;
    dcb.EvtChar = static_cast<char>(bEventChar);
    // A failed mask update leaves its code behind, and SetEventChar returns it.
    if (fAdjustMask) SetMask(GetEventMask() | EventFlagCharReceived);
    return StoreState(dcb, "CSerial::SetEventChar - Unable to set DCB information\n");
}

LONG CSerial::SetMask(DWORD dwMask) {
    if (!RequirePort("CSerial::SetMask - Device is not opened\n")) return m_lErrorCode;
    if (!SetCommMask(m_hPort, dwMask)) {
        m_lErrorCode = LastErrorCode();
        SERIAL_TRACE("CSerial::SetMask - Unable to set event mask\n");
        return m_lErrorCode;
    }
    m_dwWatchedEvents = dwMask;
    return m_lErrorCode;
}

LONG CSerial::SetupHandshaking(Handshake eHandshake) {
    SizedDcb dcb;
    if (!FetchState(dcb, "CSerial::SetupHandshaking - Device is not opened\n",
                    "CSerial::SetupHandshaking - Unable to obtain DCB information\n"))
        return m_lErrorCode;
    if (eHandshake < HandshakeNone || eHandshake > HandshakeSoftware) {
        SERIAL_ASSERT(false);
        m_lErrorCode = E_INVALIDARG;
        return m_lErrorCode;
    }
    const FlowControl& flow = kFlowControl[eHandshake];
    dcb.fOutxCtsFlow = flow.fOutxCtsFlow;
    dcb.fOutxDsrFlow = flow.fOutxDsrFlow;
    dcb.fDtrControl = flow.fDtrControl;
    dcb.fOutX = flow.fOutX;
    dcb.fInX = flow.fInX;
    dcb.fRtsControl = flow.fRtsControl;
    return StoreState(dcb, "CSerial::SetupHandshaking - Unable to set DCB information\n");
}

LONG CSerial::SetupReadTimeouts(ReadMode eReadTimeout) {
    if (!RequirePort("CSerial::SetupReadTimeouts - Device is not opened\n")) return m_lErrorCode;
    COMMTIMEOUTS timeouts;
    if (!GetCommTimeouts(m_hPort, &timeouts)) {
        m_lErrorCode = LastErrorCode();
        SERIAL_TRACE("CSerial::SetupReadTimeouts - Unable to obtain timeout information\n");
        return m_lErrorCode;
    }
    switch (eReadTimeout) {
        case ReadNonBlocking:
            timeouts.ReadIntervalTimeout = MAXDWORD;
            timeouts.ReadTotalTimeoutMultiplier = 0;
            timeouts.ReadTotalTimeoutConstant = 0;
            break;
        case ReadBlocking:
            timeouts.ReadIntervalTimeout = 0;
            timeouts.ReadTotalTimeoutMultiplier = 0;
            timeouts.ReadTotalTimeoutConstant = 0;
            break;
        default:
            SERIAL_ASSERT(false);
            m_lErrorCode = E_INVALIDARG;
            return m_lErrorCode;
    }
    if (!SetCommTimeouts(m_hPort, &timeouts)) {
        m_lErrorCode = LastErrorCode();
        SERIAL_TRACE("CSerial::SetupReadTimeouts - Unable to set timeout information\n");
    }
    return m_lErrorCode;
}

CSerial::BaudRate CSerial::GetBaudrate() {
    SizedDcb dcb;
    if (!FetchState(dcb, "CSerial::GetBaudrate - Device is not opened\n",
                    "CSerial::GetBaudrate - Unable to obtain DCB information\n"))
        return BaudRateUnknown;
    return static_cast<BaudRate>(dcb.BaudRate);
}

CSerial::DataBits CSerial::GetDataBits() {
    SizedDcb dcb;
    if (!FetchState(dcb, "CSerial::GetDataBits - Device is not opened\n",
                    "CSerial::GetDataBits - Unable to obtain DCB information\n"))
        return DataBitsUnknown;
    return static_cast<DataBits>(dcb.ByteSize);
}

CSerial::Parity CSerial::GetParity() {
    SizedDcb dcb;
    if (!FetchState(dcb, "CSerial::GetParity - Device is not opened\n",
                    "CSerial::GetParity - Unable to obtain DCB information\n"))
        return ParityUnknown;
    // Without parity checking the parity code has no effect on the line.
    if (!dcb.fParity) return ParityNone;
    return static_cast<Parity>(dcb.Parity);
}

CSerial::StopBits CSerial::GetStopBits() {
    SizedDcb dcb;
    if (!FetchState(dcb, "CSerial::GetStopBits - Device is not opened\n",
                    "CSerial::GetStopBits - Unable to obtain DCB information\n"))
        return StopBitsUnknown;
    return static_cast<StopBits>(dcb.StopBits);
}

CSerial::Handshake CSerial::GetHandshaking() {
    SizedDcb dcb;
    if (!FetchState(dcb, "CSerial::GetHandshaking - Device is not opened\n",
                    "CSerial::GetHandshaking - Unable to obtain DCB information\n"))
        return HandshakeUnknown;
    if (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE && dcb.fRtsControl == RTS_CONTROL_HANDSHAKE)
        return HandshakeHardware;
    if (dcb.fOutX && dcb.fInX) return HandshakeSoftware;
    return HandshakeNone;
}

DWORD CSerial::GetEventMask() {
    if (!RequirePort("CSerial::GetEventMask - Device is not opened\n")) return 0;
    return m_dwWatchedEvents;
}

BYTE CSerial::GetEventChar() {
    SizedDcb dcb;
    if (!FetchState(dcb, "CSerial::GetEventChar - Device is not opened\n",
                    "CSerial::GetEventChar - Unable to obtain DCB information\n"))
        return 0;
    return static_cast<BYTE>(dcb.EvtChar);
}

// ---- Transfers and events --------------------------------------------------------------

// Texts of the failures that a started overlapped operation can meet.
struct CSerial::IoTexts {
    const char* pszStartFailed;
    const char* pszWaitFailed;
    const char* pszNoResult;  // unused where no transfer count is collected
};

template <typename Start>
LONG CSerial::RunIo(LPOVERLAPPED lpOverlapped, DWORD* pdwCount, DWORD dwMaxWait,
                    const IoTexts& texts, Start start) {
    OVERLAPPED ovOwn{};
    ovOwn.hEvent = m_hevtOverlapped;
    const bool fOwnRecord = !lpOverlapped;
    if (fOwnRecord) lpOverlapped = &ovOwn;
    SERIAL_ASSERT(HasOverlappedIoCompleted(lpOverlapped));
    return FinishIo(start(lpOverlapped), lpOverlapped, fOwnRecord, pdwCount, dwMaxWait, texts);
}

bool CSerial::AbandonOwnIo(OVERLAPPED& ovOwn, DWORD& dwTransferred) {
    CancelPendingIo();
    // The cancelled operation may still be finishing with the record, the count and the
    // buffer, all of which belong to a call that is about to return; wait until it has.
    return GetOverlappedResult(m_hPort, &ovOwn, &dwTransferred, TRUE) != FALSE;
}

LONG CSerial::FinishIo(BOOL fCompletedAtOnce, LPOVERLAPPED lpOverlapped, bool fOwnRecord,
                       DWORD* pdwCount, DWORD dwMaxWait, const IoTexts& texts) {
    if (fCompletedAtOnce) {
        // The caller of the asynchronous style waits for the event in every outcome.
        SetEvent(lpOverlapped->hEvent);
        return m_lErrorCode;
    }
    const LONG lStartError = LastErrorCode();
    if (lStartError != ERROR_IO_PENDING) {
        m_lErrorCode = lStartError;
        SERIAL_TRACE(texts.pszStartFailed);
        return m_lErrorCode;
    }
    if (!fOwnRecord) return m_lErrorCode;

    DWORD dwTransferred = 0;
    switch (WaitForSingleObject(m_hevtOverlapped, dwMaxWait)) {
        case WAIT_OBJECT_0:
            if (pdwCount && !GetOverlappedResult(m_hPort, lpOverlapped, pdwCount, FALSE)) {
                m_lErrorCode = LastErrorCode();
                SERIAL_TRACE(texts.pszNoResult);
            }
            return m_lErrorCode;
        case WAIT_TIMEOUT:
            // An operation that completed before it could be cancelled is not lost.
            if (AbandonOwnIo(*lpOverlapped, dwTransferred)) {
                if (pdwCount) *pdwCount = dwTransferred;
                return m_lErrorCode;
            }
            if (pdwCount) *pdwCount = 0;
            m_lErrorCode = ERROR_TIMEOUT;
            return m_lErrorCode;
        default:
            m_lErrorCode = LastErrorCode();
            SERIAL_TRACE(texts.pszWaitFailed);
            AbandonOwnIo(*lpOverlapped, dwTransferred);
            if (pdwCount) *pdwCount = 0;
            return m_lErrorCode;
    }
}

LONG CSerial::WaitEvent(LPOVERLAPPED lpOverlapped, DWORD dwMaxWait) {
    static const IoTexts texts{"CSerial::WaitEvent - Unable to wait for COM event\n",
                               "CSerial::WaitEvent - Unable to wait until COM event has arrived\n",
                               nullptr};
    if (!RequirePort("CSerial::WaitEvent - Device is not opened\n")) return m_lErrorCode;
    return RunIo(lpOverlapped, nullptr, dwMaxWait, texts, [this](LPOVERLAPPED lpRecord) {
        return WaitCommEvent(m_hPort, &m_dwLastEvents, lpRecord);
    });
}

LONG CSerial::Write(const char* pszText, DWORD* pdwWritten, LPOVERLAPPED lpOverlapped,
                    DWORD dwMaxWait) {
    const DWORD dwLength = static_cast<DWORD>(std::strlen(pszText));
    return Write(static_cast<const void*>(pszText), dwLength, pdwWritten, lpOverlapped, dwMaxWait);
}

LONG CSerial::Write(const void* pBuffer, DWORD dwBytesToWrite, DWORD* pdwWritten,
                    LPOVERLAPPED lpOverlapped, DWORD dwMaxWait) {
    static const IoTexts texts{"CSerial::Write - Unable to write the data\n",
                               "CSerial::Write - Unable to wait until data has been sent\n",
                               "CSerial::Write - Overlapped completed without result\n"};
    SERIAL_ASSERT(!lpOverlapped || pdwWritten);
    DWORD dwWrittenOwn;
    if (!pdwWritten) pdwWritten = &dwWrittenOwn;
    *pdwWritten = 0;
    if (!RequirePort("CSerial::Write - Device is not opened\n")) return m_lErrorCode;
    return RunIo(lpOverlapped, pdwWritten, dwMaxWait, texts, [&](LPOVERLAPPED lpRecord) {
        return WriteFile(m_hPort, pBuffer, dwBytesToWrite, pdwWritten, lpRecord);
    });
}

LONG CSerial::Read(void* pBuffer, DWORD dwBytesToRead, DWORD* pdwRead, LPOVERLAPPED lpOverlapped,
                   DWORD dwMaxWait) {
    static const IoTexts texts{"CSerial::Read - Unable to read the data\n",
                               "CSerial::Read - Unable to wait until data has been read\n",
                               "CSerial::Read - Overlapped completed without result\n"};
    SERIAL_ASSERT(!lpOverlapped || pdwRead);
    DWORD dwReadOwn;
    if (!pdwRead) pdwRead = &dwReadOwn;
    *pdwRead = 0;
    if (!RequirePort("CSerial::Read - Device is not opened\n")) return m_lErrorCode;
    return RunIo(lpOverlapped, pdwRead, dwMaxWait, texts, [&](LPOVERLAPPED lpRecord) {
        // Only once the port is known to be open: a closed port leaves the buffer alone.
        std::fill_n(static_cast<BYTE*>(pBuffer), dwBytesToRead, kUndeliveredFill);
        return ReadFile(m_hPort, pBuffer, dwBytesToRead, pdwRead, lpRecord);
    });
}

CSerial::CommEvent CSerial::GetEventType() {
    const DWORD dwEvents = m_dwLastEvents & m_dwWatchedEvents;
    if (!dwEvents) {
        char szText[96];
        std::snprintf(
            szText, sizeof szText, "CSerial::GetEventType - Event %08Xh not within mask %08Xh.\n",
            static_cast<unsigned>(m_dwLastEvents), static_cast<unsigned>(m_dwWatchedEvents));
        SERIAL_TRACE(szText);
    }
    m_dwLastEvents = 0;
    return static_cast<CommEvent>(dwEvents);
}

LONG CSerial::Purge() {
    if (!RequirePort("CSerial::Purge - Device is not opened\n")) return m_lErrorCode;
    // Clearing only: transfers in progress go on.
    if (!PurgeComm(m_hPort, PURGE_TXCLEAR | PURGE_RXCLEAR)) {
        m_lErrorCode = LastErrorCode();
        SERIAL_TRACE("CSerial::Purge - Unable to purge the COM-port\n");
    }
    return m_lErrorCode;
}

LONG CSerial::Break() {
    if (!RequirePort("CSerial::Break - Device is not opened\n")) return m_lErrorCode;
    SetCommBreak(m_hPort);
    Sleep(100);
    ClearCommBreak(m_hPort);
    return m_lErrorCode;
}

// ---- Line status -----------------------------------------------------------------------

CSerial::LineError CSerial::GetError() {
    if (!RequirePort("CSerial::GetError - Device is not opened\n")) return LineErrorNone;
    DWORD dwErrors = 0;
    if (!ClearCommError(m_hPort, &dwErrors, nullptr)) {
        m_lErrorCode = LastErrorCode();
        SERIAL_TRACE("CSerial::GetError - Unable to obtain COM status\n");
        return LineErrorNone;
    }
    return static_cast<LineError>(dwErrors);
}

bool CSerial::QueryModemLine(DWORD dwLine, const char* pszFailed) {
    m_lErrorCode = ERROR_SUCCESS;
    // No test for an open port: the platform fails the query on a null handle.
    DWORD dwModemStatus = 0;
    if (!GetCommModemStatus(m_hPort, &dwModemStatus)) {
        m_lErrorCode = LastErrorCode();
        SERIAL_TRACE(pszFailed);
        return false;
    }
    return (dwModemStatus & dwLine) != 0;
}

bool CSerial::GetCTS() {
    return QueryModemLine(MS_CTS_ON, "CSerial::GetCTS - Unable to obtain the modem status\n");
}

bool CSerial::GetDSR() {
    return QueryModemLine(MS_DSR_ON, "CSerial::GetDSR - Unable to obtain the modem status\n");
}

bool CSerial::GetRing() {
    return QueryModemLine(MS_RING_ON, "CSerial::GetRing - Unable to obtain the modem status");
}

bool CSerial::GetRLSD() {
    return QueryModemLine(MS_RLSD_ON, "CSerial::GetRLSD - Unable to obtain the modem status");
}
