#include "dcb_termios.h"

#include <cstring>

namespace {

struct SpeedCode {
    DWORD rate;
    speed_t code;
};

constexpr SpeedCode kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

constexpr tcflag_t kCharacterSizes[] = {CS5, CS6, CS7, CS8};

bool usesXonXoff(const DCB& dcb) { return dcb.fOutX || dcb.fInX; }

bool usesRtsCts(const DCB& dcb) {
    return dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE;
}

tcflag_t parityFlags(BYTE parity) {
    switch (parity) {
        case ODDPARITY: return PARENB | PARODD;
        case EVENPARITY: return PARENB;
        case MARKPARITY: return PARENB | CMSPAR | PARODD;
        case SPACEPARITY: return PARENB | CMSPAR;
        default: return 0;
    }
}

BYTE parityOf(tcflag_t cflag) {
    if (!(cflag & PARENB)) return NOPARITY;
    if (cflag & CMSPAR) return (cflag & PARODD) ? MARKPARITY : SPACEPARITY;
    return (cflag & PARODD) ? ODDPARITY : EVENPARITY;
}

}  // namespace

DCB defaultDcb() {
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = 9600;
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    // Flow-control thresholds for the default 4096-byte input queue: resume at half
    // full, stop when less than an eighth is free.
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

DWORD validateDcb(const DCB& dcb) {
    if (dcb.BaudRate == 0) return ERROR_INVALID_PARAMETER;
    if (dcb.ByteSize < 5 || dcb.ByteSize > 8) return ERROR_INVALID_PARAMETER;
    if (dcb.Parity > SPACEPARITY) return ERROR_INVALID_PARAMETER;
    if (dcb.StopBits > TWOSTOPBITS) return ERROR_INVALID_PARAMETER;
    // One and a half stop bits exist only for 5-bit characters (CSTOPB with CS5).
    if (dcb.StopBits == ONE5STOPBITS && dcb.ByteSize != 5) return ERROR_INVALID_PARAMETER;
    if (usesXonXoff(dcb) && dcb.XonChar == dcb.XoffChar) return ERROR_INVALID_PARAMETER;
    return ERROR_SUCCESS;
}

speed_t standardSpeedCode(DWORD rate) {
    for (const SpeedCode& speed : kSpeeds) {
        if (speed.rate == rate) return speed.code;
    }
    return B0;
}

DWORD rateOfSpeedCode(speed_t code) {
    for (const SpeedCode& speed : kSpeeds) {
        if (speed.code == code) return speed.rate;
    }
    return 0;
}

termios termiosFromDcb(const termios& base, const DCB& dcb) {
    termios wanted = base;

    wanted.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    wanted.c_cflag |= kCharacterSizes[dcb.ByteSize - 5] | parityFlags(dcb.Parity);
    if (dcb.StopBits != ONESTOPBIT) wanted.c_cflag |= CSTOPB;
    if (usesRtsCts(dcb)) wanted.c_cflag |= CRTSCTS;
    wanted.c_cflag |= CLOCAL | CREAD;

    wanted.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    if (dcb.fOutX) wanted.c_iflag |= IXON;
    if (dcb.fInX) wanted.c_iflag |= IXOFF;
    if (dcb.fParity && dcb.Parity != NOPARITY) wanted.c_iflag |= INPCK;
    wanted.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    wanted.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);

    speed_t code = standardSpeedCode(dcb.BaudRate);
    if (code != B0) {
        cfsetispeed(&wanted, code);
        cfsetospeed(&wanted, code);
    }
    return wanted;
}

termios rawTermios(const termios& settings) {
    termios raw = settings;
    cfmakeraw(&raw);
    raw.c_iflag &= ~static_cast<tcflag_t>(IXANY);
    raw.c_cflag |= CLOCAL | CREAD;
    // Reads never block in the kernel (the descriptor is non-blocking), so these only
    // keep a read from returning before a byte is there.
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    return raw;
}

DCB dcbFromTermios(const termios& settings, DWORD rate) {
    DCB dcb = defaultDcb();
    dcb.BaudRate = rate;
    switch (settings.c_cflag & CSIZE) {
        case CS5: dcb.ByteSize = 5; break;
        case CS6: dcb.ByteSize = 6; break;
        case CS7: dcb.ByteSize = 7; break;
        default: dcb.ByteSize = 8; break;
    }
    dcb.Parity = parityOf(settings.c_cflag);
    dcb.fParity = (settings.c_iflag & INPCK) && dcb.Parity != NOPARITY;
    if (settings.c_cflag & CSTOPB) dcb.StopBits = dcb.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
    if (settings.c_cflag & CRTSCTS) {
        dcb.fOutxCtsFlow = 1;
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    }
    dcb.fOutX = (settings.c_iflag & IXON) != 0;
    dcb.fInX = (settings.c_iflag & IXOFF) != 0;
    dcb.XonChar = static_cast<char>(settings.c_cc[VSTART]);
    dcb.XoffChar = static_cast<char>(settings.c_cc[VSTOP]);
    return dcb;
}

termios withFramingOf(const termios& wanted, const termios& device) {
    constexpr tcflag_t kFraming = CSIZE | PARENB | PARODD | CMSPAR;
    termios result = wanted;
    result.c_cflag = (wanted.c_cflag & ~kFraming) | (device.c_cflag & kFraming);
    return result;
}

bool sameTermios(const termios& current, const termios& wanted) {
    return current.c_iflag == wanted.c_iflag && current.c_oflag == wanted.c_oflag &&
           current.c_cflag == wanted.c_cflag && current.c_lflag == wanted.c_lflag &&
           std::memcmp(current.c_cc, wanted.c_cc, sizeof current.c_cc) == 0 &&
           cfgetispeed(&current) == cfgetispeed(&wanted) &&
           cfgetospeed(&current) == cfgetospeed(&wanted);
}
