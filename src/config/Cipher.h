#pragma once
// The stored-text cipher: Blowfish in electronic code book mode under one fixed key, with texts
// stored as a four-digit byte count and upper-case hexadecimal. Equal texts always give equal
// results; the site list file relies on that.
#include "config/Blowfish.h"

#include <string>
#include <string_view>

class TCipher {
public:
    // The work buffer: longer texts are cut to this many bytes before enciphering.
    static constexpr size_t kMaxTextBytes = 1024;
    static constexpr size_t kKeyLength = 55;

    TCipher();

    // "" for "". Otherwise the padded length m as four decimal digits, then 2m hex digits.
    std::string EncipherText(std::string_view text) const;
    // "" for "", for a prefix that is not four digits or lies outside 1..1024, and for cipher
    // digits that are missing or not hexadecimal. Otherwise the bytes up to the first zero byte.
    std::string DecipherText(std::string_view text) const;

    // The fixed key: built from a generator with a fixed seed, every character 1..254.
    // Files written under one key can only be read back under the same key: never change it.
    static std::string FixedKey();

private:
    TBlowFish blowfish_;
};

// The program's one cipher, built on first use.
const TCipher &StoredTextCipher();
std::string EncipherText(std::string_view text);
std::string DecipherText(std::string_view text);
