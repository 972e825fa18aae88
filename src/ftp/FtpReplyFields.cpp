#include "ftp/FtpReplyFields.h"

#include <cstdio>

namespace {

bool StartsWithCode(const std::string &line, const char *code) { return line.compare(0, 3, code) == 0; }

// One PASV field: optional blanks, one to three digits, optional blanks; at most 255.
std::optional<int> ByteField(const std::string &text)
{
    size_t begin = text.find_first_not_of(' ');
    size_t end = text.find_last_not_of(' ');
    if (begin == std::string::npos || end - begin + 1 > 3)
        return std::nullopt;
    int value = 0;
    for (size_t i = begin; i <= end; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    if (value > 255)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<PasvAddress> ParsePasvReply(const std::string &line)
{
    size_t open = line.find('(');
    if (open == std::string::npos)
        return std::nullopt;
    int numbers[6];
    size_t start = open + 1;
    for (int i = 0; i < 6; ++i) {
        size_t end = line.find(i < 5 ? ',' : ')', start);
        if (end == std::string::npos)
            return std::nullopt;
        std::optional<int> value = ByteField(line.substr(start, end - start));
        if (!value)
            return std::nullopt;
        numbers[i] = *value;
        start = end + 1;
    }
    PasvAddress result;
    result.address = std::to_string(numbers[0]) + "." + std::to_string(numbers[1]) + "." +
                     std::to_string(numbers[2]) + "." + std::to_string(numbers[3]);
    result.port = uint16_t(numbers[4] * 256 + numbers[5]);
    return result;
}

std::string PortArgument(const std::string &dottedAddress, uint16_t port)
{
    std::string argument = dottedAddress;
    for (char &c : argument)
        if (c == '.')
            c = ',';
    return argument + "," + std::to_string(port / 256) + "," + std::to_string(port % 256);
}

std::string EprtArgument(const std::string &address, uint16_t port)
{
    const std::string host = address.substr(0, address.find('%'));
    const char *family = host.find(':') != std::string::npos ? "2" : "1";
    return std::string("|") + family + "|" + host + "|" + std::to_string(port) + "|";
}

std::optional<std::string> ExpectedSizeText(const std::string &line)
{
    size_t end = line.find(" bytes)");
    if (end == std::string::npos || end == 0)
        return std::nullopt;
    size_t open = line.rfind('(', end - 1);
    if (open == std::string::npos)
        return std::nullopt;
    return line.substr(open + 1, end - open - 1);
}

int64_t ParseByteCount(const std::string &text)
{
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    return std::stoll(text);
}

std::string QuotedDirectory(const std::string &line)
{
    size_t first = line.find('"');
    if (first == std::string::npos)
        return "";
    size_t second = line.find('"', first + 1);
    if (second == std::string::npos)
        return "";
    return line.substr(first + 1, second - first - 1);
}

std::optional<TDateTime> ParseMdtmReply(const std::string &line)
{
    if (line.size() < 18 || line.compare(0, 4, "213 ") != 0)
        return std::nullopt;
    size_t end = line.find_last_not_of(' ');
    std::string stamp = line.substr(4, end - 3);
    size_t digits = stamp.find_first_not_of("0123456789");
    if (digits == std::string::npos)
        digits = stamp.size();
    if (digits != 14)
        return std::nullopt;
    if (digits < stamp.size()) {
        // Only a fraction of a second may follow.
        if (stamp[digits] != '.' || stamp.size() == digits + 1 ||
            stamp.find_first_not_of("0123456789", digits + 1) != std::string::npos)
            return std::nullopt;
    }
    auto number = [&](size_t at, size_t length) { return std::stoi(stamp.substr(at, length)); };
    TDateTime date = 0;
    TDateTime time = 0;
    if (!TryEncodeDate(number(0, 4), number(4, 2), number(6, 2), date) ||
        !TryEncodeTime(number(8, 2), number(10, 2), number(12, 2), 0, time))
        return std::nullopt;
    return date + time;
}

bool ReplySaysFailed(const std::string &line)
{
    std::string lower = line;
    for (char &c : lower)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return lower.find("fail") != std::string::npos;
}

bool RefusesListOption(const std::string &line)
{
    for (const char *code : {"500", "501", "502", "504", "550"})
        if (StartsWithCode(line, code))
            return true;
    return false;
}

std::string FactTimeText(TDateTime utc)
{
    const DateParts d = DecodeDate(utc);
    const TimeParts t = DecodeTime(utc);
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", d.year, d.month, d.day, t.hour, t.minute, t.second);
    return text;
}

std::optional<uint16_t> ParseEpsvReply(const std::string &line)
{
    if (line.compare(0, 3, "229") != 0)
        return std::nullopt;
    const size_t open = line.find('(');
    if (open == std::string::npos || line.size() < open + 7)
        return std::nullopt;
    const char d = line[open + 1];
    if (d < 33 || d > 126 || (d >= '0' && d <= '9') || line[open + 2] != d || line[open + 3] != d)
        return std::nullopt;
    size_t at = open + 4;
    int64_t port = 0;
    size_t digits = 0;
    while (at < line.size() && line[at] >= '0' && line[at] <= '9' && digits < 6) {
        port = port * 10 + (line[at] - '0');
        ++at;
        ++digits;
    }
    if (digits == 0 || port < 1 || port > 65535 || at + 1 >= line.size() || line[at] != d || line[at + 1] != ')')
        return std::nullopt;
    return uint16_t(port);
}
