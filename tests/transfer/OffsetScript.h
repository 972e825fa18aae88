#pragma once
// Scripts for the scripted server that play a download site's listing and the MDTM answers its
// clock measurement asks for, and small readers of the commands it received.
#include "base/DateTime.h"
#include "support/FtpServers.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace offset_script {

using Lines = std::vector<std::string>;

inline const char *const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// A listing line for `name` dated `date` (a day count) at hh:mm, as ls shows recent files.
inline std::string RecentLine(const std::string &name, TDateTime date, int hour, int minute)
{
    const DateParts d = DecodeDate(date);
    char line[160];
    std::snprintf(line, sizeof line, "-rw-r--r--   1 web  users  3 %s %2d %02d:%02d %s", kMonths[d.month - 1], d.day,
                  hour, minute, name.c_str());
    return line;
}

inline std::string MdtmStamp(TDateTime date, int hour, int minute, int second)
{
    const DateParts d = DecodeDate(date);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d%02d%02d%02d", d.year, d.month, d.day, hour, minute, second);
    return stamp;
}

inline std::string Script(const std::string &rules)
{
    return R"({"rules": [)" + rules + fernhop::test::kScriptedLoginRules + R"(
        {"match": "^RETR ", "action": "send", "data": "abc"},
        {"match": "^STOR ", "action": "receive"},
        {"match": "^QUIT$", "reply": "221 Bye.", "close": true}]})";
}

inline std::string ListRule(const Lines &lines, bool once = false)
{
    std::string data;
    for (const std::string &line : lines)
        data += (data.empty() ? "\"" : ", \"") + line + "\"";
    return R"({"match": "^LIST", "action": "send", "data": [)" + data + "]" + (once ? R"(, "times": 1)" : "") + "},\n";
}

inline int Count(const Lines &lines, const std::string &prefix)
{
    return int(std::count_if(lines.begin(), lines.end(), [&](const std::string &l) { return l.rfind(prefix, 0) == 0; }));
}

inline std::string Joined(const Lines &lines)
{
    std::string text;
    for (const std::string &line : lines)
        text += line + "\n";
    return text;
}

} // namespace offset_script
