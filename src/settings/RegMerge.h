#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace halcyra {

class RegistryStore;

// Merges a registry text file ("REGEDIT4" form, 8-bit text or UTF-16LE with a byte-order mark) into the
// settings store. Key lines name HKEY_CURRENT_USER (the other three roots it knows, and unknown roots, fail
// as an invalid handle would); value lines give strings ("text"), dword:, hex:, hex(2): (UTF-16LE text set
// as an expandable string) and hex(7): (set as a multi-string as it stands). Every line that begins with
// none of "[", a double quote or "@" is skipped. Type words and root names ignore letter case.
//
// A merge is one transaction: on any failure nothing is written.
class TRegMerge {
public:
    // The error codes ErrorCode() reports besides errno values of the file and store errors.
    static constexpr std::uint32_t ErrorAccessDenied = 5;  // a key outside LimitKey
    static constexpr std::uint32_t ErrorInvalidHandle = 6; // a root other than HKEY_CURRENT_USER
    static constexpr std::uint32_t ErrorBadFormat = 11;    // text that does not parse, or an empty file

    // Merges `FileName` into `store`, or into the user's settings store when none is given.
    explicit TRegMerge(std::string FileName, RegistryStore* store = nullptr);
    ~TRegMerge();
    TRegMerge(const TRegMerge&) = delete;
    TRegMerge& operator=(const TRegMerge&) = delete;

    // When false, a value that already exists in a key that existed before the merge is left as it is.
    bool OverwriteExisting = false;
    // When not empty (a key path from the top of HKEY_CURRENT_USER), the only key, with the keys below it,
    // that the file may name; a key line naming any other fails the merge.
    std::string LimitKey;

    // Loads the file afresh and merges it in one transaction of its own. True when the whole text was
    // merged; false with ErrorCode() set and the store unchanged otherwise.
    bool Execute();
    // As Execute, inside a transaction the caller has begun on `store` (which must be the merger's store or,
    // without one, is used instead); on false the caller rolls back.
    bool ExecuteWithin(RegistryStore& store);

    const std::string& FileName() const { return m_fileName; }
    // 0 after success; an errno value when the file could not be opened or read; a store error code
    // (systemErrorCode) when a key or value could not be written; or one of the codes above.
    std::uint32_t ErrorCode() const { return m_errorCode; }
    // Parser state at the end: 12 done, 13 failed.
    std::uint8_t State() const { return m_state; }

private:
    bool load();
    bool parse(RegistryStore& store);
    bool fail(std::uint32_t code = 0);
    void skipLine();
    std::size_t lineEndFrom(std::size_t pos) const;
    bool readQuoted(std::string& out);
    bool readByteList(std::string& bytes);
    bool keyAllowed(std::string_view path) const;

    std::string m_fileName;
    RegistryStore* m_store;
    std::string m_text;
    std::size_t m_pos = 0;
    std::uint8_t m_state = 0;
    std::uint32_t m_errorCode = 0;
};

} // namespace halcyra
