#include "ftp/FtpErrors.h"

#include "net/WinsockErrors.h"

bool IsInternalWinsockError(uint16_t number)
{
    switch (number) {
    case WSAEINTR:
    case WSAEFAULT:
    case WSAEINVAL:
    case WSAEINPROGRESS:
    case WSAENOTSOCK:
    case WSAEMSGSIZE:
    case WSAEOPNOTSUPP:
    case WSAEAFNOSUPPORT:
    case WSAEADDRINUSE:
    case WSAEISCONN:
    case WSAENOTCONN:
    case WSAESHUTDOWN: return true;
    default: return false;
    }
}

FtpError FtpErrorFromWinsock(uint16_t number)
{
    if (number == 0)
        return feNone;
    if (IsInternalWinsockError(number))
        return feInternalError;
    switch (number) {
    case WSANOTINITIALISED: return feWinsockNotInitialised;
    case WSAENETDOWN: return feNetworkDown;
    case WSAEACCES: return feInvalidAddress;
    case WSAENETRESET:
    case WSAENOBUFS: return feGeneralWinsockError;
    case WSAECONNABORTED: return feConnectionAborted;
    case WSAECONNRESET: return feConnectionReset;
    case WSAETIMEDOUT: return feConnectionTimeout;
    case WSAEMFILE: return feOutOfSockets;
    case WSAENETUNREACH: return feNetworkUnreachable;
    case WSAEADDRNOTAVAIL: return feAddressNotAvailable;
    case WSAECONNREFUSED: return feConnectionRefused;
    case WSAHOST_NOT_FOUND:
    case WSATRY_AGAIN:
    case WSANO_RECOVERY:
    case WSANO_DATA: return feAddressResolution;
    case WSAEHOSTUNREACH: return feHostUnreachable;
    default: return feUnknownError;
    }
}
