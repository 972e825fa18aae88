// The stored-text cipher. Any text deciphers to at most 1024 bytes without a zero byte, and what
// it gives enciphers and deciphers back to itself; any text enciphers to the stored form (four
// digits, upper-case hexadecimal) and deciphers back to itself, cut at 1024 bytes and at its
// first zero byte.
#include "FuzzSupport.h"

#include "config/Cipher.h"

#include <algorithm>

namespace {

bool StoredForm(const std::string &text)
{
    if (text.size() < 4 || (text.size() - 4) % 16 != 0)
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool digit = c >= '0' && c <= '9';
        if (!digit && (i < 4 || c < 'A' || c > 'F'))
            return false;
    }
    return std::stoul(text.substr(0, 4)) * 2 == text.size() - 4;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);

    const std::string plain = DecipherText(text);
    if (plain.size() > TCipher::kMaxTextBytes || plain.find('\0') != std::string::npos)
        fuzz::Fail("deciphered text of " + std::to_string(plain.size()) + " bytes with a zero byte or too long");
    if (!plain.empty() && DecipherText(EncipherText(plain)) != plain)
        fuzz::Fail("deciphered text does not come back: " + fuzz::Shown(plain));

    const std::string stored = EncipherText(text);
    if (text.empty() != stored.empty())
        fuzz::Fail("empty in, empty out: " + fuzz::Shown(text));
    if (!stored.empty() && !StoredForm(stored))
        fuzz::Fail("enciphered text is not in the stored form: " + fuzz::Shown(stored));
    const std::string_view expected =
        text.substr(0, std::min({text.size(), TCipher::kMaxTextBytes, text.find('\0')}));
    if (DecipherText(stored) != expected)
        fuzz::Fail("text does not come back: " + fuzz::Shown(text));
    if (EncipherText(text) != stored)
        fuzz::Fail("equal texts enciphered differently: " + fuzz::Shown(text));
    return 0;
}
