#include "hashing/Md5Engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

using namespace halcyra;

namespace {

std::string hex(const std::uint8_t* digest) {
    std::string text;
    char pair[3];
    for (int i = 0; i < 16; ++i) {
        std::snprintf(pair, sizeof pair, "%02X", digest[i]);
        text += pair;
    }
    return text;
}

std::string md5OfString(const std::string& input) {
    TMD5 md5;
    std::uint8_t digest[16];
    md5.InputType = TSourceType::SourceString;
    md5.InputString = input;
    md5.OutputDigest = digest;
    md5.ComputeDigest();
    return hex(digest);
}

std::vector<std::uint8_t> patternBytes(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t x = 2463534242u;
    for (auto& b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::uint8_t>(x);
    }
    return bytes;
}

} // namespace

TEST(Md5Engine, SourceKindsHaveTheirByteValues) {
    static_assert(sizeof(TSourceType) == 1);
    EXPECT_EQ(static_cast<int>(TSourceType::SourceFile), 0);
    EXPECT_EQ(static_cast<int>(TSourceType::SourceByteArray), 1);
    EXPECT_EQ(static_cast<int>(TSourceType::SourceString), 2);
}

// The test suite of RFC 1321, appendix A.5.
TEST(Md5Engine, Rfc1321Vectors) {
    EXPECT_EQ(md5OfString(""), "D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(md5OfString("a"), "0CC175B9C0F1B6A831C399E269772661");
    EXPECT_EQ(md5OfString("abc"), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(md5OfString("message digest"), "F96B697D7CB7938D525A2F31AAF161D0");
    EXPECT_EQ(md5OfString("abcdefghijklmnopqrstuvwxyz"), "C3FCD3D76192E4007DFB496CCA67E13B");
    EXPECT_EQ(md5OfString("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "D174AB98D277D9F5A5611C2C9F419D9F");
    EXPECT_EQ(md5OfString("1234567890123456789012345678901234567890"
                          "1234567890123456789012345678901234567890"),
              "57EDF4A22BE3C955AC49DA2E2107B67A");
}

TEST(Md5Engine, ByteArrayInputIsDigestedWhole) {
    const std::string text("message digest\0with a NUL", 25);
    TMD5 md5;
    std::uint8_t digest[16];
    md5.InputType = TSourceType::SourceByteArray;
    md5.InputArray = text.data();
    md5.InputLength = text.size();
    md5.OutputDigest = digest;
    md5.ComputeDigest();
    EXPECT_EQ(hex(digest), "3118F93DDF1D1DAE6D7BCAE059D75727");
    // The engine starts afresh: the same input twice gives the same digest.
    md5.ComputeDigest();
    EXPECT_EQ(hex(digest), "3118F93DDF1D1DAE6D7BCAE059D75727");
}

// "a" repeated n times, around the lengths where the padding needs a second block (digests from
// md5sum and openssl dgst -md5), fed at once and in chunks that straddle block edges.
TEST(Md5Engine, PaddingBoundariesGiveTheKnownDigests) {
    const std::pair<std::size_t, const char*> known[] = {
        {0, "D41D8CD98F00B204E9800998ECF8427E"},    {55, "EF1772B6DFF9A122358552954AD0DF65"},
        {56, "3B0C8AC703F828B04C6C197006D17218"},   {57, "652B906D60AF96844EBD21B674F35E93"},
        {63, "B06521F39153D618550606BE297466D5"},   {64, "014842D480B571495A4A0363793F7367"},
        {119, "8A7BD0732ED6A28CE75F6DABC90E1613"},  {120, "5F61C0CCAD4CAC44C75FF505E1F1E537"},
        {1000, "CABE45DCC9AE5B66BA86600CCA6B8BA8"},
    };
    for (const auto& [size, digest] : known) {
        const std::string bytes(size, 'a');
        EXPECT_EQ(md5OfString(bytes), digest) << "size " << size;
        Md5Context md5;
        for (const std::size_t chunk : {1u, 3u, 63u, 64u, 65u, 4096u}) {
            for (std::size_t at = 0; at < size; at += chunk) {
                md5.update(bytes.data() + at, std::min(chunk, size - at));
            }
            std::uint8_t pieces[16];
            md5.finish(pieces);
            EXPECT_EQ(hex(pieces), digest) << "size " << size << ", chunk " << chunk;
        }
    }
}

TEST(Md5Engine, UnalignedInputGivesTheSameDigest) {
    const auto bytes = patternBytes(4096 + 16);
    std::uint8_t reference[16];
    Md5Context md5;
    md5.update(bytes.data(), 4096);
    md5.finish(reference);
    for (std::size_t shift = 1; shift < 16; ++shift) {
        std::vector<std::uint8_t> moved(bytes.size());
        std::copy(bytes.begin(), bytes.begin() + 4096, moved.begin() + static_cast<std::ptrdiff_t>(shift));
        std::uint8_t digest[16];
        md5.update(moved.data() + shift, 4096);
        md5.finish(digest);
        EXPECT_EQ(hex(digest), hex(reference)) << "shift " << shift;
    }
}

TEST(Md5Engine, FileFailuresAreRaisedAsExceptions) {
    TMD5 md5;
    std::uint8_t digest[16];
    md5.InputType = TSourceType::SourceFile;
    md5.InputFilePath = "/nonexistent/halcyra/file";
    EXPECT_THROW(md5.ComputeDigest(), std::invalid_argument); // no OutputDigest yet
    md5.OutputDigest = digest;
    EXPECT_THROW(md5.ComputeDigest(), std::system_error);
    md5.InputFilePath = "/proc/self/mem"; // a regular file whose reads fail
    EXPECT_THROW(md5.ComputeDigest(), std::system_error);
    // A failed file leaves nothing behind.
    md5.InputType = TSourceType::SourceString;
    md5.InputString = "abc";
    md5.ComputeDigest();
    EXPECT_EQ(hex(digest), "900150983CD24FB0D6963F7D28E17F72");
}
