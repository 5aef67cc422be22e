#pragma once

#include <cstdint>

namespace halcyra {

// What TMD5::ComputeDigest reads: a named file, a caller's byte array or a text.
enum class TSourceType : std::uint8_t {
    SourceFile = 0,
    SourceByteArray = 1,
    SourceString = 2,
};

} // namespace halcyra
