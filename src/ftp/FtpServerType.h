#pragma once
// Server type detection from the SYST reply.
#include "ftp/FtpTypes.h"

#include <string>

// The reply from its fifth character on, at most 99 characters, letters A-Z upper-cased.
std::string SystemTypeOfReply(const std::string &reply);

// Tests run in a fixed order and a later match overrides an earlier one, so a text holding both
// "UNIX" and "VM" counts as VM.
TFtpServerType DetectServerType(const std::string &systemType);
