#include "ftp/FtpReplyFields.h"

namespace {

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
