#include "ftp/FtpErrors.h"
#include "ftp/FtpServerType.h"
#include "net/WinsockErrors.h"

#include <gtest/gtest.h>

TEST(FtpServerType, SystemTypeIsTheUpperCasedTextAfterTheCode)
{
    EXPECT_EQ(SystemTypeOfReply("215 UNIX Type: L8"), "UNIX TYPE: L8");
    EXPECT_EQ(SystemTypeOfReply("215 Windows_NT"), "WINDOWS_NT");
    EXPECT_EQ(SystemTypeOfReply("215"), "");
    EXPECT_EQ(SystemTypeOfReply("215 " + std::string(150, 'a')), std::string(99, 'A'));
}

TEST(FtpServerType, LaterMatchesOverrideEarlierOnes)
{
    EXPECT_EQ(DetectServerType("UNIX TYPE: L8"), ftpUNIX);
    EXPECT_EQ(DetectServerType("WINDOWS_NT"), ftpWINDOWS);
    EXPECT_EQ(DetectServerType("WINDOWS UNIX EMULATION"), ftpUNIX);
    EXPECT_EQ(DetectServerType("UNIX UNDER VM"), ftpVM);
    EXPECT_EQ(DetectServerType("VM/VPS"), ftpVMVPS);
    EXPECT_EQ(DetectServerType("VMS MULTINET V4.0"), ftpVmsMultinet);
    EXPECT_EQ(DetectServerType("VMS V5.5"), ftpVmsUcx);
    EXPECT_EQ(DetectServerType("ULTRIX"), ftpULTRIX);
    EXPECT_EQ(DetectServerType("CLIX"), ftpClix);
    EXPECT_EQ(DetectServerType("MVS IS THE OPERATING SYSTEM"), ftpMVS);
    EXPECT_EQ(DetectServerType("NCSA"), ftpNCSA);
    EXPECT_EQ(DetectServerType("NETWARE"), ftpDefault);
}

TEST(FtpErrors, WinsockNumbersFoldIntoFtpCodes)
{
    EXPECT_EQ(FtpErrorFromWinsock(0), feNone);
    EXPECT_EQ(FtpErrorFromWinsock(WSAECONNREFUSED), feConnectionRefused);
    for (uint16_t lookup = WSAHOST_NOT_FOUND; lookup <= WSANO_DATA; ++lookup)
        EXPECT_EQ(FtpErrorFromWinsock(lookup), feAddressResolution);
    EXPECT_EQ(FtpErrorFromWinsock(WSAENOTSOCK), feInternalError);
    EXPECT_FALSE(IsInternalWinsockError(WSAECONNREFUSED));
    EXPECT_EQ(FtpErrorFromWinsock(WSABASEERR), feUnknownError);
}
