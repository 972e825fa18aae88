#include "base/Text.h"

namespace {
inline char LowerChar(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }
inline char UpperChar(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }
} // namespace

std::string LowerAZ(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        c = LowerChar(c);
    return out;
}

std::string UpperAZ(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        c = UpperChar(c);
    return out;
}

int CompareNoCaseAZ(std::string_view a, std::string_view b)
{
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = LowerChar(a[i]), y = LowerChar(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool EqualsNoCaseAZ(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && CompareNoCaseAZ(a, b) == 0;
}

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

bool EndsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool ContainsLineBreak(std::string_view text)
{
    return text.find_first_of("\r\n") != std::string_view::npos;
}

bool SendableName(std::string_view text)
{
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

std::string Cut255(std::string_view text)
{
    return std::string(text.substr(0, 255));
}

std::string QuotedForLog(std::string_view text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (char c : text) {
        const unsigned char b = static_cast<unsigned char>(c);
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\0': out += "\\0"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        default:
            if (b < 0x20 || b == 0x7f) {
                out += "\\x";
                out += hex[b >> 4];
                out += hex[b & 15];
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}
