#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace halcyra {

// The predefined registry roots, numbered as the registry numbers them. Only HKEY_CURRENT_USER exists in the
// settings store; the others name no key.
enum class RegRoot : std::uint32_t {
    ClassesRoot = 0x80000000,
    CurrentUser = 0x80000001,
    LocalMachine = 0x80000002,
    Users = 0x80000003,
    PerformanceData = 0x80000004,
    CurrentConfig = 0x80000005,
    DynData = 0x80000006,
};

// "HKEY_CLASSES_ROOT", ... for the seven roots; empty for any other number.
std::string_view regRootName(RegRoot root);

// UTF-8 text as UTF-16LE bytes, without a terminating zero. A byte that is not part of a well-formed UTF-8
// sequence becomes the lone code unit 0xDC00 + byte, which utf16leToUtf8 turns back into that byte, so any
// byte string survives the round trip.
std::string utf8ToUtf16le(std::string_view text);

// UTF-16LE bytes as UTF-8 text, up to the first zero code unit or the end (an odd last byte is ignored).
// Lone surrogates 0xDC80-0xDCFF become the byte they stand for; other lone surrogates become U+FFFD.
std::string utf16leToUtf8(std::string_view bytes);

} // namespace halcyra
