#include "ftp/FtpServerType.h"

#include "base/Text.h"

namespace {
bool Has(const std::string &text, const char *word) { return text.find(word) != std::string::npos; }
} // namespace

std::string SystemTypeOfReply(const std::string &reply)
{
    if (reply.size() <= 4)
        return "";
    return UpperAZ(reply.substr(4, 99));
}

TFtpServerType DetectServerType(const std::string &systemType)
{
    TFtpServerType type = ftpDefault;
    if (Has(systemType, "WINDOWS"))
        type = ftpWINDOWS;
    if (Has(systemType, "UNIX"))
        type = ftpUNIX;
    if (Has(systemType, "CLIX"))
        type = ftpClix;
    if (Has(systemType, "ULTRIX"))
        type = ftpULTRIX;
    if (Has(systemType, "MVS"))
        type = ftpMVS;
    if (Has(systemType, "QVT"))
        type = ftpQVT;
    if (Has(systemType, "NCSA"))
        type = ftpNCSA;
    if (Has(systemType, "CHAMELEON"))
        type = ftpChameleon;
    if (Has(systemType, "VMS"))
        type = Has(systemType, "MULTINET") ? ftpVmsMultinet : ftpVmsUcx;
    else if (Has(systemType, "VM"))
        type = Has(systemType, "VPS") ? ftpVMVPS : ftpVM;
    return type;
}
