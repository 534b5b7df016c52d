#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

#include "foundation/runtime_error.h"

namespace tellumic {

// Big-endian reads at explicit offsets of a byte span. Reading past the end raises
// RuntimeError 9 (subscript out of range): a short read is an error, never garbage.
class ByteReader
{
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    std::size_t size() const { return m_bytes.size(); }

    std::uint8_t u8(std::size_t at) const
    {
        need(at, 1);
        return m_bytes[at];
    }
    std::uint16_t u16(std::size_t at) const
    {
        need(at, 2);
        return static_cast<std::uint16_t>((m_bytes[at] << 8) | m_bytes[at + 1]);
    }
    std::uint32_t u32(std::size_t at) const
    {
        need(at, 4);
        return (std::uint32_t{m_bytes[at]} << 24) | (std::uint32_t{m_bytes[at + 1]} << 16) |
               (std::uint32_t{m_bytes[at + 2]} << 8) | std::uint32_t{m_bytes[at + 3]};
    }
    // Any bit pattern passes through: negative numbers, NaN, infinities.
    std::int32_t i32(std::size_t at) const { return static_cast<std::int32_t>(u32(at)); }
    float f32(std::size_t at) const { return std::bit_cast<float>(u32(at)); }

private:
    void need(std::size_t at, std::size_t n) const
    {
        if (at > m_bytes.size() || m_bytes.size() - at < n)
            throw RuntimeError(ErrorNumber::kSubscriptOutOfRange, "Subscript out of range");
    }

    std::span<const std::uint8_t> m_bytes;
};

// Puts the low bytes of v at out[at...], most significant first.
template <typename Out>
void putBigEndian(Out &out, std::size_t at, std::uint32_t v, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i, ++at)
        out[at] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace tellumic
