#pragma once
// Blowfish, the published 64-bit block cipher: 16 rounds, key schedule over the pi tables.
// A block's two 32-bit halves are taken from its bytes in big-endian order.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

class TBlowFish {
public:
    static constexpr size_t kBlockSize = 8;
    static constexpr size_t kMaxKeyBytes = 56;

    // An empty key leaves the pi tables unmixed by key bytes; a key longer than 56 bytes is cut.
    explicit TBlowFish(std::string_view key);

    void EncryptBlock(uint32_t &left, uint32_t &right) const;
    void DecryptBlock(uint32_t &left, uint32_t &right) const;

    // Electronic code book over whole blocks, in place. A trailing part shorter than a block is
    // left as it is; callers pad first.
    void EncryptEcb(uint8_t *data, size_t size) const;
    void DecryptEcb(uint8_t *data, size_t size) const;

private:
    uint32_t Round(uint32_t x) const;

    std::array<uint32_t, 18> p_;
    std::array<std::array<uint32_t, 256>, 4> s_;
};
