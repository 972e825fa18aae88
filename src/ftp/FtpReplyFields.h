#pragma once
// Fields the data side reads out of reply lines, and the PORT argument it writes. Pure text
// functions, kept apart so that the odd replies servers send can be tested one by one.
#include "base/DateTime.h"

#include <cstdint>
#include <optional>
#include <string>

struct PasvAddress {
    std::string address; // dotted, as the server announced it
    uint16_t port = 0;
};

// "227 Entering Passive Mode (10,0,0,1,4,1)." gives 10.0.0.1 port 1025. Nothing when there is no
// "(", no ")" after the sixth number, or a field that is not a decimal number from 0 to 255.
std::optional<PasvAddress> ParsePasvReply(const std::string &line);

// "229 Entering Extended Passive Mode (|||6446|)" gives 6446: the port alone, between two
// groups of the same delimiter. Nothing for any other form or a port outside 1-65535.
std::optional<uint16_t> ParseEpsvReply(const std::string &line);

// "192.168.1.5" and 1025 give "192,168,1,5,4,1".
std::string PortArgument(const std::string &dottedAddress, uint16_t port);

// The EPRT argument: "2001:db8::5" and 1025 give "|2|2001:db8::5|1025|", "10.0.0.1" gives
// "|1|10.0.0.1|1025|". An IPv6 zone ("%eth0") means nothing to the server and is left out.
std::string EprtArgument(const std::string &address, uint16_t port);

// The byte count of a 1xx reply to RETR: the text between the "(" before " bytes)" and it, as
// in "150 Opening BINARY mode data connection for a.zip (1234 bytes)." Nothing without one.
std::optional<std::string> ExpectedSizeText(const std::string &line);

// A decimal byte count ("1234"), -1 when the text is anything else.
int64_t ParseByteCount(const std::string &text);

// The text between the first two double quotes of a PWD reply, empty when there are fewer.
std::string QuotedDirectory(const std::string &line);

// The time of a 213 reply to MDTM, "213 YYYYMMDDHHMMSS" with an optional fraction of a second
// (dropped): UTC as a day count. Nothing for any other form or an impossible date or time.
std::optional<TDateTime> ParseMdtmReply(const std::string &line);

// A UTC day count as "YYYYMMDDHHMMSS", the form MFMT takes.
std::string FactTimeText(TDateTime utc);

// A final reply that says the transfer failed whatever its code, as vsftpd's
// "226 Transfer done (but failed to open directory)." for a directory it cannot read.
bool ReplySaysFailed(const std::string &line);

// The codes with which a server refuses "LIST -a" for its option (syntax, not implemented, or
// "-a" taken for a missing name), as opposed to a data connection that failed.
bool RefusesListOption(const std::string &line);
