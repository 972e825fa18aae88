#pragma once
// Winsock error numbers are the error vocabulary of the whole program (LastError, the FTP error
// mapping, the log texts). The socket layer turns errno and resolver codes into these numbers
// here, in one place, so everything above it can keep reasoning in Winsock terms.
#include <cstdint>
#include <string>

constexpr uint16_t WSABASEERR = 10000; // also the number for a system error with no Winsock twin
constexpr uint16_t WSAEINTR = 10004;
constexpr uint16_t WSAEBADF = 10009;
constexpr uint16_t WSAEACCES = 10013;
constexpr uint16_t WSAEFAULT = 10014;
constexpr uint16_t WSAEINVAL = 10022;
constexpr uint16_t WSAEMFILE = 10024;
constexpr uint16_t WSAEWOULDBLOCK = 10035;
constexpr uint16_t WSAEINPROGRESS = 10036;
constexpr uint16_t WSAEALREADY = 10037;
constexpr uint16_t WSAENOTSOCK = 10038;
constexpr uint16_t WSAEDESTADDRREQ = 10039;
constexpr uint16_t WSAEMSGSIZE = 10040;
constexpr uint16_t WSAEPROTOTYPE = 10041;
constexpr uint16_t WSAENOPROTOOPT = 10042;
constexpr uint16_t WSAEPROTONOSUPPORT = 10043;
constexpr uint16_t WSAESOCKTNOSUPPORT = 10044;
constexpr uint16_t WSAEOPNOTSUPP = 10045;
constexpr uint16_t WSAEPFNOSUPPORT = 10046;
constexpr uint16_t WSAEAFNOSUPPORT = 10047;
constexpr uint16_t WSAEADDRINUSE = 10048;
constexpr uint16_t WSAEADDRNOTAVAIL = 10049;
constexpr uint16_t WSAENETDOWN = 10050;
constexpr uint16_t WSAENETUNREACH = 10051;
constexpr uint16_t WSAENETRESET = 10052;
constexpr uint16_t WSAECONNABORTED = 10053;
constexpr uint16_t WSAECONNRESET = 10054;
constexpr uint16_t WSAENOBUFS = 10055;
constexpr uint16_t WSAEISCONN = 10056;
constexpr uint16_t WSAENOTCONN = 10057;
constexpr uint16_t WSAESHUTDOWN = 10058;
constexpr uint16_t WSAETOOMANYREFS = 10059;
constexpr uint16_t WSAETIMEDOUT = 10060;
constexpr uint16_t WSAECONNREFUSED = 10061;
constexpr uint16_t WSAELOOP = 10062;
constexpr uint16_t WSAENAMETOOLONG = 10063;
constexpr uint16_t WSAEHOSTDOWN = 10064;
constexpr uint16_t WSAEHOSTUNREACH = 10065;
constexpr uint16_t WSAENOTEMPTY = 10066;
constexpr uint16_t WSAEPROCLIM = 10067;
constexpr uint16_t WSAEUSERS = 10068;
constexpr uint16_t WSAEDQUOT = 10069;
constexpr uint16_t WSAESTALE = 10070;
constexpr uint16_t WSAEREMOTE = 10071;
constexpr uint16_t WSASYSNOTREADY = 10091;
constexpr uint16_t WSAVERNOTSUPPORTED = 10092;
constexpr uint16_t WSANOTINITIALISED = 10093;
constexpr uint16_t WSAHOST_NOT_FOUND = 11001;
constexpr uint16_t WSATRY_AGAIN = 11002;
constexpr uint16_t WSANO_RECOVERY = 11003;
constexpr uint16_t WSANO_DATA = 11004;

// errno of a failed socket call -> Winsock number. 0 stays 0; an errno without a Winsock
// counterpart becomes WSABASEERR rather than a number that means something else.
uint16_t WinsockErrorFromErrno(int err);

// getaddrinfo result (EAI_*) -> Winsock number; `savedErrno` is consulted for EAI_SYSTEM.
uint16_t WinsockErrorFromResolver(int eaiCode, int savedErrno);

// The Winsock constant name of a number ("WSAECONNREFUSED"), empty for numbers without one.
std::string WinsockErrorName(int number);
