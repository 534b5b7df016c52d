#pragma once

// A digest of the part of a CSV file the store has taken, kept with the byte count: a file
// rewritten before that point (a line put in or changed where a gap was filled) no longer
// gives the same digest and is read whole again, even when the old byte count still falls on
// a line end. Not cryptographic: it tells a changed file, not a forged one.

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace tellumic::store {

// 16 hex digits of a 64-bit hash of bytes, taken eight at a time (little-endian) so that a
// file of megabytes costs a few milliseconds.
inline std::string fileDigest(std::string_view bytes)
{
    constexpr std::uint64_t kMul1 = 0x9E3779B97F4A7C15ull, kMul2 = 0xC2B2AE3D27D4EB4Full;
    std::uint64_t h = 0x27D4EB2F165667C5ull ^ (bytes.size() * kMul1);
    std::size_t i = 0;
    const auto mix = [&h](std::uint64_t w) {
        w *= kMul2;
        w = (w << 31) | (w >> 33);
        h ^= w * kMul1;
        h = ((h << 27) | (h >> 37)) * 5 + 0x52DCE729;
    };
    for (; i + 8 <= bytes.size(); i += 8) {
        unsigned char b[8];
        std::memcpy(b, bytes.data() + i, 8);
        std::uint64_t w = 0;
        for (int k = 7; k >= 0; --k)
            w = (w << 8) | b[k];
        mix(w);
    }
    std::uint64_t tail = 0;
    for (std::size_t k = bytes.size(); k-- > i;)
        tail = (tail << 8) | static_cast<unsigned char>(bytes[k]);
    mix(tail);
    h ^= h >> 33;
    h *= kMul2;
    h ^= h >> 29;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out(16, '0');
    for (int k = 15; k >= 0; --k, h >>= 4)
        out[static_cast<std::size_t>(k)] = kHex[h & 0xF];
    return out;
}

}  // namespace tellumic::store
