#include "config/Blowfish.h"

#include "config/BlowfishTables.h"

namespace {

uint32_t LoadBigEndian(const uint8_t *bytes)
{
    return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 |
           uint32_t(bytes[3]);
}

void StoreBigEndian(uint32_t value, uint8_t *bytes)
{
    bytes[0] = uint8_t(value >> 24);
    bytes[1] = uint8_t(value >> 16);
    bytes[2] = uint8_t(value >> 8);
    bytes[3] = uint8_t(value);
}

} // namespace

TBlowFish::TBlowFish(std::string_view key) : p_(kBlowfishInitialP), s_(kBlowfishInitialS)
{
    key = key.substr(0, kMaxKeyBytes);
    if (!key.empty()) {
        size_t at = 0;
        for (uint32_t &word : p_) {
            uint32_t keyWord = 0;
            for (int i = 0; i < 4; ++i) {
                keyWord = keyWord << 8 | uint8_t(key[at]);
                at = (at + 1) % key.size();
            }
            word ^= keyWord;
        }
    }

    // Each enciphered block replaces the next two table words, P-array first, then the S-boxes.
    uint32_t left = 0, right = 0;
    for (size_t i = 0; i < p_.size(); i += 2) {
        EncryptBlock(left, right);
        p_[i] = left;
        p_[i + 1] = right;
    }
    for (auto &box : s_) {
        for (size_t i = 0; i < box.size(); i += 2) {
            EncryptBlock(left, right);
            box[i] = left;
            box[i + 1] = right;
        }
    }
}

uint32_t TBlowFish::Round(uint32_t x) const
{
    return ((s_[0][x >> 24] + s_[1][(x >> 16) & 0xFF]) ^ s_[2][(x >> 8) & 0xFF]) + s_[3][x & 0xFF];
}

void TBlowFish::EncryptBlock(uint32_t &left, uint32_t &right) const
{
    uint32_t l = left, r = right;
    for (int i = 0; i < 16; i += 2) {
        l ^= p_[i];
        r ^= Round(l);
        r ^= p_[i + 1];
        l ^= Round(r);
    }
    left = r ^ p_[17];
    right = l ^ p_[16];
}

void TBlowFish::DecryptBlock(uint32_t &left, uint32_t &right) const
{
    uint32_t l = left, r = right;
    for (int i = 17; i > 1; i -= 2) {
        l ^= p_[i];
        r ^= Round(l);
        r ^= p_[i - 1];
        l ^= Round(r);
    }
    left = r ^ p_[0];
    right = l ^ p_[1];
}

void TBlowFish::EncryptEcb(uint8_t *data, size_t size) const
{
    for (size_t at = 0; at + kBlockSize <= size; at += kBlockSize) {
        uint32_t left = LoadBigEndian(data + at), right = LoadBigEndian(data + at + 4);
        EncryptBlock(left, right);
        StoreBigEndian(left, data + at);
        StoreBigEndian(right, data + at + 4);
    }
}

void TBlowFish::DecryptEcb(uint8_t *data, size_t size) const
{
    for (size_t at = 0; at + kBlockSize <= size; at += kBlockSize) {
        uint32_t left = LoadBigEndian(data + at), right = LoadBigEndian(data + at + 4);
        DecryptBlock(left, right);
        StoreBigEndian(left, data + at);
        StoreBigEndian(right, data + at + 4);
    }
}
