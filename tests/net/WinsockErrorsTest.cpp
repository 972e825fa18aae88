#include "net/WinsockErrors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <netdb.h>

TEST(WinsockErrors, SystemErrorsMapToWinsockNumbers)
{
    EXPECT_EQ(WinsockErrorFromErrno(0), 0);
    EXPECT_EQ(WinsockErrorFromErrno(EAGAIN), WSAEWOULDBLOCK);
    EXPECT_EQ(WinsockErrorFromErrno(ECONNREFUSED), WSAECONNREFUSED);
    EXPECT_EQ(WinsockErrorFromErrno(ECONNRESET), WSAECONNRESET);
    EXPECT_EQ(WinsockErrorFromErrno(EPIPE), WSAECONNRESET);
    EXPECT_EQ(WinsockErrorFromErrno(ETIMEDOUT), WSAETIMEDOUT);
    EXPECT_EQ(WinsockErrorFromErrno(EHOSTUNREACH), WSAEHOSTUNREACH);
    EXPECT_EQ(WinsockErrorFromErrno(EBADF), WSAENOTSOCK);
    // Linux numbers differ from BSD's above 34; no errno may fall on an unrelated Winsock number.
    EXPECT_EQ(WinsockErrorFromErrno(EDEADLK), WSABASEERR);
    EXPECT_EQ(WinsockErrorFromErrno(EIO), WSABASEERR);
}

TEST(WinsockErrors, ResolverCodesMapToTheLookupGroup)
{
    EXPECT_EQ(WinsockErrorFromResolver(0, 0), 0);
    EXPECT_EQ(WinsockErrorFromResolver(EAI_NONAME, 0), WSAHOST_NOT_FOUND);
    EXPECT_EQ(WinsockErrorFromResolver(EAI_AGAIN, 0), WSATRY_AGAIN);
    EXPECT_EQ(WinsockErrorFromResolver(EAI_FAIL, 0), WSANO_RECOVERY);
    EXPECT_EQ(WinsockErrorFromResolver(EAI_SYSTEM, ECONNREFUSED), WSAECONNREFUSED);
}

TEST(WinsockErrors, NamesAreTheWinsockConstants)
{
    EXPECT_EQ(WinsockErrorName(10038), "WSAENOTSOCK");
    EXPECT_EQ(WinsockErrorName(10035), "WSAEWOULDBLOCK");
    EXPECT_EQ(WinsockErrorName(11001), "WSAHOST_NOT_FOUND");
    EXPECT_EQ(WinsockErrorName(10093), "WSANOTINITIALISED");
    EXPECT_EQ(WinsockErrorName(10009), "WSAEBADF");
    EXPECT_EQ(WinsockErrorName(12345), "");
    EXPECT_EQ(WinsockErrorName(0), "");
}
