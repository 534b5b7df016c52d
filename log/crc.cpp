#include "log/crc.h"

#include <array>

namespace tellumic {

namespace {

constexpr std::array<std::uint8_t, 256> makeCrc8Table()
{
    std::array<std::uint8_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1u) ? (crc >> 1) ^ 0x8Cu : crc >> 1;
        table[i] = static_cast<std::uint8_t>(crc);
    }
    return table;
}

// The 16-bit CRC is defined bit by bit; these tables give the same result eight bytes at a
// time (table k advances a byte through k more zero bytes), which matters when a full log
// of long records is checked.
using Crc16Tables = std::array<std::array<std::uint16_t, 256>, 8>;

constexpr Crc16Tables makeCrc16Tables()
{
    Crc16Tables t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1u) ? (crc >> 1) ^ 0xA001u : crc >> 1;
        t[0][i] = static_cast<std::uint16_t>(crc);
    }
    for (std::size_t k = 1; k < 8; ++k)
        for (unsigned i = 0; i < 256; ++i)
            t[k][i] = static_cast<std::uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFFu]);
    return t;
}

constexpr std::array<std::uint8_t, 256> kCrc8Table = makeCrc8Table();
constexpr Crc16Tables kCrc16 = makeCrc16Tables();

static_assert(kCrc8Table[1] == 0x5E && kCrc8Table[2] == 0xBC && kCrc8Table[255] == 0x35);

std::uint8_t g_running = 0;

}  // namespace

void CrcInit()
{
    // The table is a compile-time constant; nothing is left to build.
}

void CrcReset()
{
    g_running = 0;
}

void CrcUpdate(std::uint8_t byte)
{
    g_running = kCrc8Table[g_running ^ byte];
}

std::uint8_t CrcValue()
{
    return g_running;
}

std::uint8_t crc8TableEntry(std::uint8_t index)
{
    return kCrc8Table[index];
}

std::uint8_t crc8(std::span<const std::uint8_t> bytes)
{
    std::uint8_t crc = 0;
    for (std::uint8_t b : bytes)
        crc = kCrc8Table[crc ^ b];
    return crc;
}

std::uint16_t Crc16(std::span<const std::uint8_t> bytes, std::size_t n)
{
    if (n > bytes.size())
        n = bytes.size();
    unsigned crc = 0xFFFF;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const auto *b = bytes.data() + i;
        crc ^= b[0] | (unsigned{b[1]} << 8);
        crc = kCrc16[7][crc & 0xFFu] ^ kCrc16[6][crc >> 8] ^ kCrc16[5][b[2]] ^ kCrc16[4][b[3]] ^ kCrc16[3][b[4]] ^
              kCrc16[2][b[5]] ^ kCrc16[1][b[6]] ^ kCrc16[0][b[7]];
    }
    for (; i < n; ++i)
        crc = (crc >> 8) ^ kCrc16[0][(crc ^ bytes[i]) & 0xFFu];
    return static_cast<std::uint16_t>(crc);
}

}  // namespace tellumic
