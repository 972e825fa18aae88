#include "base/VisibleText.h"

namespace {

const char kHex[] = "0123456789abcdef";

void AppendEscape(std::string &out, const char *prefix, unsigned value, int digits)
{
    out += prefix;
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out += kHex[(value >> shift) & 15];
}

// The length of the well-formed UTF-8 character at `at`, 0 when the bytes there are not one.
size_t Utf8Length(std::string_view text, size_t at)
{
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
    if (length == 0 || at + length > text.size())
        return 0;
    for (size_t i = 1; i < length; ++i)
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80)
            return 0;
    return length;
}

} // namespace

std::string VisibleControls(std::string_view text, bool keepLineBreaks)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            const bool kept = b >= 0x20 ? b != 0x7F : b == '\t' || (keepLineBreaks && (b == '\n' || b == '\r'));
            if (kept)
                out += char(b);
            else
                AppendEscape(out, "\\x", b, 2);
            ++i;
            continue;
        }
        const size_t length = Utf8Length(text, i);
        if (length == 2 && b == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            AppendEscape(out, "\\u", static_cast<unsigned char>(text[i + 1]), 4); // U+0080..U+009F
        } else if (length > 0) {
            out.append(text.substr(i, length));
        } else if (b < 0xA0) {
            AppendEscape(out, "\\x", b, 2); // a lone C1 byte, acted on by 8-bit terminals
            i += 1;
            continue;
        } else {
            out += char(b); // another byte of a non-UTF-8 name: shown as it is, as before
            i += 1;
            continue;
        }
        i += length;
    }
    return out;
}
