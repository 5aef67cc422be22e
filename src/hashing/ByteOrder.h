#pragma once

#include <cstdint>
#include <cstring>

namespace halcyra {

// The 32-bit little-endian word stored at `p` (any alignment).
inline std::uint32_t loadLE32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap32(v);
#endif
    return v;
}

// Stores `v` at `p` as a 32-bit little-endian word (any alignment).
inline void storeLE32(std::uint8_t* p, std::uint32_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap32(v);
#endif
    std::memcpy(p, &v, 4);
}

} // namespace halcyra
