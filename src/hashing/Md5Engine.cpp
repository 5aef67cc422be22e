#include "hashing/Md5Engine.h"

#include "hashing/ByteOrder.h"
#include "hashing/FileReader.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <system_error>

namespace halcyra {

namespace {

inline std::uint32_t rotl(std::uint32_t x, int s) {
    return (x << s) | (x >> (32 - s));
}

} // namespace

// The four round functions are arranged so that the word computed last (b) enters as late as
// possible: F = ((c ^ d) & b) ^ d, G = (c & ~d) + (b & d) (the two terms share no bits),
// H = (c ^ d) ^ b, I = c ^ (b | ~d). Message word and constant are added before b is known.
// HALCYRA_MD5_EARLY keeps the compiler from moving those early sums back behind b.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__) || defined(__aarch64__))
#define HALCYRA_MD5_EARLY(v) __asm__("" : "+r"(v))
#else
#define HALCYRA_MD5_EARLY(v) ((void)0)
#endif

#define HALCYRA_MD5_F(a, b, c, d, x, k, s)                                                                   \
    a += (x) + (k);                                                                                          \
    HALCYRA_MD5_EARLY(a);                                                                                    \
    a += (((c) ^ (d)) & (b)) ^ (d);                                                                          \
    a = rotl(a, s) + (b)
#define HALCYRA_MD5_G(a, b, c, d, x, k, s)                                                                   \
    a += (x) + (k);                                                                                          \
    a += (c) & ~(d);                                                                                         \
    HALCYRA_MD5_EARLY(a);                                                                                    \
    a += (b) & (d);                                                                                          \
    a = rotl(a, s) + (b)
#define HALCYRA_MD5_H(a, b, c, d, x, k, s)                                                                   \
    a += (x) + (k);                                                                                          \
    HALCYRA_MD5_EARLY(a);                                                                                    \
    a += ((c) ^ (d)) ^ (b);                                                                                  \
    a = rotl(a, s) + (b)
#define HALCYRA_MD5_I(a, b, c, d, x, k, s)                                                                   \
    a += (x) + (k);                                                                                          \
    HALCYRA_MD5_EARLY(a);                                                                                    \
    a += (c) ^ ((b) | ~(d));                                                                                 \
    a = rotl(a, s) + (b)

void md5Compress(std::uint32_t state[4], const std::uint8_t* p, std::size_t blockCount) {
    std::uint32_t a = state[0];
    std::uint32_t b = state[1];
    std::uint32_t c = state[2];
    std::uint32_t d = state[3];
    for (; blockCount != 0; --blockCount, p += 64) {
        const std::uint32_t x0 = loadLE32(p + 0), x1 = loadLE32(p + 4), x2 = loadLE32(p + 8),
                            x3 = loadLE32(p + 12), x4 = loadLE32(p + 16), x5 = loadLE32(p + 20),
                            x6 = loadLE32(p + 24), x7 = loadLE32(p + 28), x8 = loadLE32(p + 32),
                            x9 = loadLE32(p + 36), x10 = loadLE32(p + 40), x11 = loadLE32(p + 44),
                            x12 = loadLE32(p + 48), x13 = loadLE32(p + 52), x14 = loadLE32(p + 56),
                            x15 = loadLE32(p + 60);
        const std::uint32_t aa = a, bb = b, cc = c, dd = d;

        HALCYRA_MD5_F(a, b, c, d, x0, 0xD76AA478u, 7);
        HALCYRA_MD5_F(d, a, b, c, x1, 0xE8C7B756u, 12);
        HALCYRA_MD5_F(c, d, a, b, x2, 0x242070DBu, 17);
        HALCYRA_MD5_F(b, c, d, a, x3, 0xC1BDCEEEu, 22);
        HALCYRA_MD5_F(a, b, c, d, x4, 0xF57C0FAFu, 7);
        HALCYRA_MD5_F(d, a, b, c, x5, 0x4787C62Au, 12);
        HALCYRA_MD5_F(c, d, a, b, x6, 0xA8304613u, 17);
        HALCYRA_MD5_F(b, c, d, a, x7, 0xFD469501u, 22);
        HALCYRA_MD5_F(a, b, c, d, x8, 0x698098D8u, 7);
        HALCYRA_MD5_F(d, a, b, c, x9, 0x8B44F7AFu, 12);
        HALCYRA_MD5_F(c, d, a, b, x10, 0xFFFF5BB1u, 17);
        HALCYRA_MD5_F(b, c, d, a, x11, 0x895CD7BEu, 22);
        HALCYRA_MD5_F(a, b, c, d, x12, 0x6B901122u, 7);
        HALCYRA_MD5_F(d, a, b, c, x13, 0xFD987193u, 12);
        HALCYRA_MD5_F(c, d, a, b, x14, 0xA679438Eu, 17);
        HALCYRA_MD5_F(b, c, d, a, x15, 0x49B40821u, 22);

        HALCYRA_MD5_G(a, b, c, d, x1, 0xF61E2562u, 5);
        HALCYRA_MD5_G(d, a, b, c, x6, 0xC040B340u, 9);
        HALCYRA_MD5_G(c, d, a, b, x11, 0x265E5A51u, 14);
        HALCYRA_MD5_G(b, c, d, a, x0, 0xE9B6C7AAu, 20);
        HALCYRA_MD5_G(a, b, c, d, x5, 0xD62F105Du, 5);
        HALCYRA_MD5_G(d, a, b, c, x10, 0x02441453u, 9);
        HALCYRA_MD5_G(c, d, a, b, x15, 0xD8A1E681u, 14);
        HALCYRA_MD5_G(b, c, d, a, x4, 0xE7D3FBC8u, 20);
        HALCYRA_MD5_G(a, b, c, d, x9, 0x21E1CDE6u, 5);
        HALCYRA_MD5_G(d, a, b, c, x14, 0xC33707D6u, 9);
        HALCYRA_MD5_G(c, d, a, b, x3, 0xF4D50D87u, 14);
        HALCYRA_MD5_G(b, c, d, a, x8, 0x455A14EDu, 20);
        HALCYRA_MD5_G(a, b, c, d, x13, 0xA9E3E905u, 5);
        HALCYRA_MD5_G(d, a, b, c, x2, 0xFCEFA3F8u, 9);
        HALCYRA_MD5_G(c, d, a, b, x7, 0x676F02D9u, 14);
        HALCYRA_MD5_G(b, c, d, a, x12, 0x8D2A4C8Au, 20);

        HALCYRA_MD5_H(a, b, c, d, x5, 0xFFFA3942u, 4);
        HALCYRA_MD5_H(d, a, b, c, x8, 0x8771F681u, 11);
        HALCYRA_MD5_H(c, d, a, b, x11, 0x6D9D6122u, 16);
        HALCYRA_MD5_H(b, c, d, a, x14, 0xFDE5380Cu, 23);
        HALCYRA_MD5_H(a, b, c, d, x1, 0xA4BEEA44u, 4);
        HALCYRA_MD5_H(d, a, b, c, x4, 0x4BDECFA9u, 11);
        HALCYRA_MD5_H(c, d, a, b, x7, 0xF6BB4B60u, 16);
        HALCYRA_MD5_H(b, c, d, a, x10, 0xBEBFBC70u, 23);
        HALCYRA_MD5_H(a, b, c, d, x13, 0x289B7EC6u, 4);
        HALCYRA_MD5_H(d, a, b, c, x0, 0xEAA127FAu, 11);
        HALCYRA_MD5_H(c, d, a, b, x3, 0xD4EF3085u, 16);
        HALCYRA_MD5_H(b, c, d, a, x6, 0x04881D05u, 23);
        HALCYRA_MD5_H(a, b, c, d, x9, 0xD9D4D039u, 4);
        HALCYRA_MD5_H(d, a, b, c, x12, 0xE6DB99E5u, 11);
        HALCYRA_MD5_H(c, d, a, b, x15, 0x1FA27CF8u, 16);
        HALCYRA_MD5_H(b, c, d, a, x2, 0xC4AC5665u, 23);

        HALCYRA_MD5_I(a, b, c, d, x0, 0xF4292244u, 6);
        HALCYRA_MD5_I(d, a, b, c, x7, 0x432AFF97u, 10);
        HALCYRA_MD5_I(c, d, a, b, x14, 0xAB9423A7u, 15);
        HALCYRA_MD5_I(b, c, d, a, x5, 0xFC93A039u, 21);
        HALCYRA_MD5_I(a, b, c, d, x12, 0x655B59C3u, 6);
        HALCYRA_MD5_I(d, a, b, c, x3, 0x8F0CCC92u, 10);
        HALCYRA_MD5_I(c, d, a, b, x10, 0xFFEFF47Du, 15);
        HALCYRA_MD5_I(b, c, d, a, x1, 0x85845DD1u, 21);
        HALCYRA_MD5_I(a, b, c, d, x8, 0x6FA87E4Fu, 6);
        HALCYRA_MD5_I(d, a, b, c, x15, 0xFE2CE6E0u, 10);
        HALCYRA_MD5_I(c, d, a, b, x6, 0xA3014314u, 15);
        HALCYRA_MD5_I(b, c, d, a, x13, 0x4E0811A1u, 21);
        HALCYRA_MD5_I(a, b, c, d, x4, 0xF7537E82u, 6);
        HALCYRA_MD5_I(d, a, b, c, x11, 0xBD3AF235u, 10);
        HALCYRA_MD5_I(c, d, a, b, x2, 0x2AD7D2BBu, 15);
        HALCYRA_MD5_I(b, c, d, a, x9, 0xEB86D391u, 21);

        a += aa;
        b += bb;
        c += cc;
        d += dd;
    }
    state[0] = a;
    state[1] = b;
    state[2] = c;
    state[3] = d;
}

#undef HALCYRA_MD5_F
#undef HALCYRA_MD5_G
#undef HALCYRA_MD5_H
#undef HALCYRA_MD5_I
#undef HALCYRA_MD5_EARLY

void Md5Context::reset() {
    m_state[0] = 0x67452301u;
    m_state[1] = 0xEFCDAB89u;
    m_state[2] = 0x98BADCFEu;
    m_state[3] = 0x10325476u;
    m_length = 0;
}

void Md5Context::update(const void* data, std::size_t size) {
    if (size == 0) {
        return;
    }
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::size_t held = static_cast<std::size_t>(m_length % 64);
    m_length += size;
    if (held != 0) {
        const std::size_t take = std::min(size, 64 - held);
        std::memcpy(m_pending + held, p, take);
        p += take;
        size -= take;
        held += take;
        if (held < 64) {
            return;
        }
        md5Compress(m_state, m_pending, 1);
    }
    // Whole blocks straight from the caller's bytes.
    md5Compress(m_state, p, size / 64);
    p += size & ~std::size_t{63};
    size %= 64;
    if (size != 0) {
        std::memcpy(m_pending, p, size);
    }
}

void Md5Context::finish(std::uint8_t digest[16]) {
    const std::size_t held = static_cast<std::size_t>(m_length % 64);
    std::uint8_t tail[128] = {};
    std::memcpy(tail, m_pending, held);
    tail[held] = 0x80;
    const std::size_t tailSize = held < 56 ? 64 : 128;
    const std::uint64_t bits = m_length * 8;
    storeLE32(tail + tailSize - 8, static_cast<std::uint32_t>(bits));
    storeLE32(tail + tailSize - 4, static_cast<std::uint32_t>(bits >> 32));
    md5Compress(m_state, tail, tailSize / 64);
    for (int i = 0; i < 4; ++i) {
        storeLE32(digest + 4 * i, m_state[i]);
    }
    reset();
}

TMD5::TMD5() = default;
TMD5::~TMD5() = default;

void TMD5::ComputeDigest() {
    if (OutputDigest == nullptr) {
        throw std::invalid_argument("TMD5: OutputDigest is not set");
    }
    m_context.reset();
    switch (InputType) {
    case TSourceType::SourceFile: {
        RegularFileReader reader;
        if (const int error = reader.open(InputFilePath); error != 0) {
            throw std::system_error(error, std::generic_category(), InputFilePath);
        }
        digestFile(reader, InputFilePath, nullptr);
        break;
    }
    case TSourceType::SourceByteArray:
        if (InputArray == nullptr && InputLength != 0) {
            throw std::invalid_argument("TMD5: InputArray is not set");
        }
        if (InputLength != 0) {
            m_context.update(InputArray, InputLength);
        }
        break;
    case TSourceType::SourceString:
        m_context.update(InputString.data(), InputString.size());
        break;
    default:
        throw std::invalid_argument("TMD5: unknown input type");
    }
    m_context.finish(OutputDigest);
}

bool TMD5::ComputeFileDigest(RegularFileReader& reader, const StopPoll* poll) {
    if (OutputDigest == nullptr) {
        throw std::invalid_argument("TMD5: OutputDigest is not set");
    }
    m_context.reset();
    if (!digestFile(reader, InputFilePath, poll)) {
        return false;
    }
    m_context.finish(OutputDigest);
    return true;
}

bool TMD5::digestFile(RegularFileReader& reader, const std::string& name, const StopPoll* poll) {
    if (!m_buffer) {
        m_buffer = std::make_unique_for_overwrite<std::uint8_t[]>(FileBlockSize);
    }
    const ReadOutcome outcome =
        readWholeFile(reader, m_buffer.get(), FileBlockSize, poll,
                      [this](const std::uint8_t* data, std::size_t size) { m_context.update(data, size); });
    if (outcome == ReadOutcome::Done) {
        return true;
    }
    const int error = reader.error();
    reader.close();
    m_context.reset();
    if (outcome == ReadOutcome::Stopped) {
        return false;
    }
    throw std::system_error(error, std::generic_category(), name);
}

} // namespace halcyra
