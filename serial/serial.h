// CSerial: one serial (COM) port opened for exclusive overlapped access, with its line
// settings, blocking and asynchronous transfers, line events, line errors and modem lines.
//
// Every operation reports through a Win32 error code: it stores the code of its outcome
// in m_lErrorCode (0 = success), readable with GetLastErrorCode(). Operations that change
// state return that code; getters return the queried value (or their failure value).
// Failures also leave one trace text on the diagnostic channel (diagnostics.h), never on
// the console. The class throws nothing and allocates nothing.
#pragma once

#include "comm_api.h"

// The platform's DCB with its length field filled in, as every settings call expects.
struct SizedDcb : DCB {
    SizedDcb() { DCBlength = sizeof(DCB); }
};

class CSerial {
public:
    // Line speed in bits per second; any rate may be passed, these are the usual ones.
    enum BaudRate : LONG {
        BaudRateUnknown = -1,
        BaudRate110 = 110,
        BaudRate300 = 300,
        BaudRate600 = 600,
        BaudRate1200 = 1200,
        BaudRate2400 = 2400,
        BaudRate4800 = 4800,
        BaudRate9600 = 9600,
        BaudRate14400 = 14400,
        BaudRate19200 = 19200,
        BaudRate38400 = 38400,
        BaudRate56000 = 56000,
        BaudRate57600 = 57600,
        BaudRate115200 = 115200,
        BaudRate128000 = 128000,
        BaudRate256000 = 256000,
    };

    enum DataBits : LONG {
        DataBitsUnknown = -1,
        DataBits5 = 5,
        DataBits6 = 6,
        DataBits7 = 7,
        DataBits8 = 8,
    };

    enum Parity : LONG {
        ParityUnknown = -1,
        ParityNone = NOPARITY,
        ParityOdd = ODDPARITY,
        ParityEven = EVENPARITY,
        ParityMark = MARKPARITY,
        ParitySpace = SPACEPARITY,
    };

    enum StopBits : LONG {
        StopBitsUnknown = -1,
        StopBitsOne = ONESTOPBIT,
        StopBitsOneAndHalf = ONE5STOPBITS,
        StopBitsTwo = TWOSTOPBITS,
    };

    enum Handshake : LONG {
        HandshakeUnknown = -1,
        HandshakeNone = 0,
        HandshakeHardware = 1,
        HandshakeSoftware = 2,
    };

    enum ReadMode : LONG {
        ReadNonBlocking = 0,  // a read returns at once with what is queued
        ReadBlocking = 1,     // a read waits until every requested byte has arrived
    };

    enum CommEvent : LONG {
        EventNone = 0,
        EventCharReceived = EV_RXCHAR,
        EventFlagCharReceived = EV_RXFLAG,
        EventTxQueueEmpty = EV_TXEMPTY,
        EventCtsChanged = EV_CTS,
        EventDsrChanged = EV_DSR,
        EventRlsdChanged = EV_RLSD,
        EventBreakReceived = EV_BREAK,
        EventLineError = EV_ERR,
        EventRingDetected = EV_RING,
        EventPrinterError = EV_PERR,
        EventRx80Full = EV_RX80FULL,
        EventProvider1 = EV_EVENT1,
        EventProvider2 = EV_EVENT2,
    };

    enum LineError : LONG {
        LineErrorNone = 0,
        LineErrorRxOverflow = CE_RXOVER,
        LineErrorOverrun = CE_OVERRUN,
        LineErrorParity = CE_RXPARITY,
        LineErrorFraming = CE_FRAME,
        LineErrorBreak = CE_BREAK,
        LineErrorTxFull = CE_TXFULL,
        LineErrorPrinterTimeout = CE_PTO,
        LineErrorIo = CE_IOE,
        LineErrorDeviceNotSelected = CE_DNS,
        LineErrorOutOfPaper = CE_OOP,
        LineErrorMode = CE_MODE,
    };

    enum PortProbeResult : LONG {
        PortProbeFailed = -1,
        PortFree = 0,
        PortAbsent = 1,
        PortBusy = 2,
    };

    // The events Open watches: characters received, breaks and line errors.
    static constexpr DWORD DefaultEventMask =
        EventCharReceived | EventBreakReceived | EventLineError;

    CSerial();
    virtual ~CSerial();

    CSerial(const CSerial&) = delete;
    CSerial& operator=(const CSerial&) = delete;

    // Opens the port exclusively ("COM1", "\\.\COM3", or a device path). Queue sizes of
    // 0 keep the driver's. The port starts with its default configuration, non-blocking
    // reads and DefaultEventMask. Returns 1247 when already open.
    virtual LONG Open(LPCSTR lpszDevice, DWORD dwInQueue = 0, DWORD dwOutQueue = 0);
    // Releases the port and its event. Always returns 0 (a warning when not open).
    virtual LONG Close();

    // Sets speed, character size, parity and stop bits; other settings keep the port's.
    virtual LONG Setup(BaudRate eBaudrate = BaudRate9600, DataBits eDataBits = DataBits8,
                       Parity eParity = ParityNone, StopBits eStopBits = StopBitsOne);
    // Sets the character that raises EventFlagCharReceived; with fAdjustMask the event
    // is added to the watched mask as well.
    virtual LONG SetEventChar(BYTE bEventChar, bool fAdjustMask = true);
    // Sets the events (CommEvent bits) that end a WaitEvent.
    virtual LONG SetMask(DWORD dwMask = DefaultEventMask);
    // Waits for one of the watched events, which then lie in the event word read by
    // GetEventType. With lpOverlapped null it blocks for at most dwMaxWait milliseconds
    // (1460 on time-out); otherwise it returns at once and the record's event is
    // signalled when an event arrives.
    virtual LONG WaitEvent(LPOVERLAPPED lpOverlapped = nullptr, DWORD dwMaxWait = INFINITE);
    // Sets the flow control; E_INVALIDARG for an undefined mode, the port unchanged.
    virtual LONG SetupHandshaking(Handshake eHandshake);
    // Sets how reads wait for data; E_INVALIDARG for an undefined mode, the port unchanged.
    virtual LONG SetupReadTimeouts(ReadMode eReadTimeout);

    // Getters return the Unknown value (-1), or 0 for the last two, on failure.
    virtual BaudRate GetBaudrate();
    virtual DataBits GetDataBits();
    virtual Parity GetParity();
    virtual StopBits GetStopBits();
    virtual Handshake GetHandshaking();
    virtual DWORD GetEventMask();
    virtual BYTE GetEventChar();

    // Sends a NUL-terminated text without its NUL, through the data form below.
    virtual LONG Write(const char* pszText, DWORD* pdwWritten = nullptr,
                       LPOVERLAPPED lpOverlapped = nullptr, DWORD dwMaxWait = INFINITE);
    // Sends dwBytesToWrite bytes. Blocking (lpOverlapped null) for at most dwMaxWait
    // milliseconds, or asynchronous with the caller's completion record.
    virtual LONG Write(const void* pBuffer, DWORD dwBytesToWrite, DWORD* pdwWritten = nullptr,
                       LPOVERLAPPED lpOverlapped = nullptr, DWORD dwMaxWait = INFINITE);
    // Reads up to dwBytesToRead bytes; the buffer is filled with 0xDC first, so bytes not
    // delivered read as 0xDC. Blocking for at most dwMaxWait milliseconds (1460 on
    // time-out), or asynchronous with the caller's completion record.
    virtual LONG Read(void* pBuffer, DWORD dwBytesToRead, DWORD* pdwRead = nullptr,
                      LPOVERLAPPED lpOverlapped = nullptr, DWORD dwMaxWait = INFINITE);

    // Empties the driver's input and output queues without aborting transfers.
    LONG Purge();
    // Holds the transmit line in the break state for 100 milliseconds.
    LONG Break();
    // The events of the last WaitEvent within the watched mask; clears them. Leaves the
    // error code alone; 0 (with a warning) when none lies within the mask.
    CommEvent GetEventType();
    // The line errors accumulated since the last call; clears them. 0 also on failure.
    LineError GetError();
    // The modem input lines: true when on; false when off or on failure (see the code).
    bool GetCTS();
    bool GetDSR();
    bool GetRing();
    bool GetRLSD();

    // The code of the most recent operation: 0 or a Win32 error code.
    LONG GetLastErrorCode() const { return m_lErrorCode; }

    // Tells whether a port exists and is free, without keeping it open.
    static PortProbeResult ProbePort(LPCSTR lpszDevice);

protected:
    LONG m_lErrorCode;
    HANDLE m_hPort;
    DWORD m_dwLastEvents;
    DWORD m_dwWatchedEvents;
    HANDLE m_hevtOverlapped;

private:
    struct IoTexts;

    // Resets the error code; when the port is closed stores 6, traces pszNotOpen and
    // returns false.
    bool RequirePort(const char* pszNotOpen);
    // Reads the port's settings into dcb after RequirePort; on failure stores the
    // platform's code, traces pszFailed and returns false.
    bool FetchState(SizedDcb& dcb, const char* pszNotOpen, const char* pszFailed);
    // Applies dcb; on failure stores the platform's code and traces pszFailed. Returns
    // the error code.
    LONG StoreState(SizedDcb& dcb, const char* pszFailed);
    // Whether the modem input line dwLine (an MS_ bit) is on; false with the platform's
    // code and pszFailed traced when the status cannot be read.
    bool QueryModemLine(DWORD dwLine, const char* pszFailed);

    // Runs one overlapped operation: start(lpRecord) starts it on the caller's record, or
    // on a record of the call's own (zero, signalling m_hevtOverlapped) when lpOverlapped
    // is null; FinishIo then takes it to the outcome of the call.
    template <typename Start>
    LONG RunIo(LPOVERLAPPED lpOverlapped, DWORD* pdwCount, DWORD dwMaxWait, const IoTexts& texts,
               Start start);
    // Takes an overlapped operation from its start (fCompletedAtOnce: the start call's
    // result) to the outcome of the call, waiting at most dwMaxWait milliseconds for an
    // own record. pdwCount null: no transfer count to collect. Returns the error code.
    LONG FinishIo(BOOL fCompletedAtOnce, LPOVERLAPPED lpOverlapped, bool fOwnRecord,
                  DWORD* pdwCount, DWORD dwMaxWait, const IoTexts& texts);
    // Cancels the calling thread's pending overlapped operations on the port.
    void CancelPendingIo();
    // Cancels, then waits until the operation on the call's own record has ended, so that
    // nothing writes into the record, count or buffer once the call has returned. True
    // when the operation had completed normally after all (dwTransferred bytes).
    bool AbandonOwnIo(OVERLAPPED& ovOwn, DWORD& dwTransferred);
};
