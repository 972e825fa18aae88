#pragma once

#include <string>

namespace fernhop::test {

// The local account vsftpd serves: vsftpd has no virtual users without a PAM file of its own, so
// the tests use a real account, shared by all instances and all test processes.
struct FtpTestAccount
{
    std::string user;
    std::string password;
    int uid = -1;
    int gid = -1;
    std::string pamService; // the PAM service vsftpd is to use
};

// Creates the account on first use (needs root) and sets its password; race-safe between test
// processes running in parallel. On failure returns false and says why in *error.
bool ensureFtpTestAccount(FtpTestAccount *account, std::string *error);

} // namespace fernhop::test
