#include "net/WinsockErrors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <netdb.h>

TEST(WinsockErrors, SystemAndResolverCodesBecomeWinsockNumbers)
{
    EXPECT_EQ(WinsockErrorFromErrno(0), 0);
    EXPECT_EQ(WinsockErrorFromErrno(EAGAIN), WSAEWOULDBLOCK);
    EXPECT_EQ(WinsockErrorFromErrno(ECONNREFUSED), WSAECONNREFUSED);
    EXPECT_EQ(WinsockErrorFromErrno(EPIPE), WSAECONNRESET);
    // Linux numbers differ from BSD's above 34: no errno may land on an unrelated Winsock number.
    EXPECT_EQ(WinsockErrorFromErrno(EDEADLK), WSABASEERR);
    EXPECT_EQ(WinsockErrorFromResolver(EAI_NONAME, 0), WSAHOST_NOT_FOUND);
    EXPECT_EQ(WinsockErrorFromResolver(EAI_AGAIN, 0), WSATRY_AGAIN);
    EXPECT_EQ(WinsockErrorFromResolver(EAI_SYSTEM, ECONNREFUSED), WSAECONNREFUSED);
    EXPECT_EQ(WinsockErrorName(10038), "WSAENOTSOCK");
    EXPECT_EQ(WinsockErrorName(12345), "");
}
