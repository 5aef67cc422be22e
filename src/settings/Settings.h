#pragma once

#include "settings/FormWindow.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

class RegistryStore;

// The program's root key: program-wide values, window placements and one sub-key per profile.
inline constexpr std::string_view SettingsRootKey = "\\Software\\OrrendaleSoftware\\Halcyra";

// The integer a settings text holds: optional leading blanks, an optional sign and decimal digits that fit
// in 32 bits; nothing for any other text.
std::optional<std::int32_t> integerFromText(std::string_view text);

// Outcome of a read that must tell a missing value from a store that could not be read.
enum class SettingState {
    Value,   // found
    Missing, // no such key or value, an empty text, or a value that is not text
    Error,   // the store could not be read; acting on "missing" would be wrong
};

struct SettingText {
    SettingState state = SettingState::Missing;
    std::string text;  // with Value
    std::string error; // with Error: why
};

struct SettingNames {
    SettingState state = SettingState::Missing;
    std::vector<std::string> names; // with Value (possibly none)
    std::string error;
};

// Reads and writes the configuration under one key path (from the top of HKEY_CURRENT_USER, beginning
// with "\"): the root key or a profile's key. Every value is a string value: integers as decimal text,
// Booleans as "Y"/"N", three-state options as "Y"/"N"/"G".
//
// Reads never fail: whatever goes wrong, the caller's default comes back (the try... forms tell errors
// apart). Writes create the key when needed and return false when the value could not be stored, with the
// store's reason in WriteError(). Nothing is cached, so several objects on the same key, in this process or
// another, see each other's writes at once. One object serves one thread.
class TSettings {
public:
    // Binds the object to `Key` and opens the store; when the store cannot be opened, reads give their
    // defaults, writes do nothing and the other operations return false.
    explicit TSettings(std::string_view Key);
    ~TSettings();
    TSettings(const TSettings&) = delete;
    TSettings& operator=(const TSettings&) = delete;

    const std::string& Key() const { return m_key; }

    // Text of value `Name` in Key + "\" + `SubKey` (Key itself when `SubKey` is empty); `Default` when the
    // key or value is missing, empty, not a string value, or cannot be read.
    std::string ReadSubKeyString(std::string_view SubKey, std::string_view Name,
                                 std::string_view Default) const;
    std::string ReadStringDef(std::string_view Name, std::string_view Default) const;
    std::string ReadString(std::string_view Name) const;
    std::int32_t ReadSubKeyInteger(std::string_view SubKey, std::string_view Name,
                                   std::int32_t Default) const;
    std::int32_t ReadIntegerDef(std::string_view Name, std::int32_t Default) const;
    std::int32_t ReadInteger(std::string_view Name) const; // default -1
    // "Y" true, "N" false (exactly), anything else `Default`.
    bool ReadSubKeyBool(std::string_view SubKey, std::string_view Name, bool Default) const;
    bool ReadBoolDef(std::string_view Name, bool Default) const;
    bool ReadBool(std::string_view Name) const; // default false
    // "Y" 1, "N" 0, "G" 2 (exactly), anything else `Default`.
    std::uint8_t ReadSubKeyTriState(std::string_view SubKey, std::string_view Name,
                                    std::uint8_t Default) const;
    std::uint8_t ReadTriStateDef(std::string_view Name, std::uint8_t Default) const;
    std::uint8_t ReadTriState(std::string_view Name) const; // default 0

    // Sets value `Name` of Key (created with every missing key above it) to `Value` as a string value. False
    // when that failed (the value stays as it was); WriteError() then says why.
    bool WriteString(std::string_view Name, std::string_view Value);
    bool WriteInteger(std::string_view Name, std::int32_t Value);
    bool WriteBool(std::string_view Name, bool Value);
    bool WriteTriState(std::string_view Name, std::uint8_t Value); // 1 "Y", 0 "N", anything else "G"
    // As WriteString, but only while Key exists: a key deleted meanwhile is not made again (false, with
    // WriteError() saying so).
    bool UpdateString(std::string_view Name, std::string_view Value);
    // Why the last write that failed failed: the store's own text, naming the database.
    const std::string& WriteError() const { return m_writeError; }

    // Fills `List` with Key's sub-key names in case-insensitive order and returns true when it has at least
    // one; otherwise returns false and leaves `List` untouched.
    bool GetSubKeyNames(std::vector<std::string>& List) const;
    bool SubKeyExists(std::string_view Name) const;
    // Deletes Key + "\" + `Name` (Key itself when `Name` is empty) with its values and sub-keys. Never
    // deletes the program's root key or a key above it. True on success.
    bool DeleteSubKey(std::string_view Name);
    // Fills `List` (cleared first) with the value names of Key + "\" + `SubKey` (Key when empty) in creation
    // order; false, `List` untouched, when the key is missing or cannot be read.
    bool GetValueNames(std::string_view SubKey, std::vector<std::string>& List) const;
    bool DeleteValue(std::string_view Name);
    // The last component of Key (after its last "\"), in the stored spelling when the key exists.
    std::string KeyName() const;
    // Copies the values and sub-keys of Key + "\" + `Source` into Key + "\" + `Dest` (created when missing;
    // its other values stay, values of the same name are overwritten), every type byte for byte. With `Move`
    // the source is removed afterwards; names that differ only in letter case rename the key in place. All
    // or nothing: false, with nothing changed, when the source is missing, one key lies inside the other, or
    // the store fails.
    bool CopySubKey(std::string_view Source, std::string_view Dest, bool Move);
    // Whether `Name` is free of \ / : * ? " < > | and control characters (the empty text passes).
    static bool IsValidName(std::string_view Name);

    // Restores the window's placement from the values "HY_" + name + "_TOP"/"_LEFT"/"_WIDTH"/"_HEIGHT";
    // centres it when there is no usable stored placement (negative top, width or height of 0 or less, or
    // bounds that touch no screen).
    void ReadFormPlacement(FormWindow& Form) const;
    void WriteFormPlacement(const FormWindow& Form);
    static void LoadFormPlacement(std::string_view Key, FormWindow& Form);
    static void SaveFormPlacement(std::string_view Key, const FormWindow& Form);

    // The text of value `Name` as ReadSubKeyString sees it, telling a missing value from a store error.
    SettingText tryReadSubKeyString(std::string_view SubKey, std::string_view Name) const;
    // Key's sub-key names, telling "none" (Value with an empty list), a missing key and a store error apart.
    SettingNames trySubKeyNames() const;

private:
    std::string pathOf(std::string_view subKey) const;
    bool writeValue(std::string_view name, std::string_view value, bool createKey);

    std::string m_key;
    // One connection serves both reading and writing; null when the store could not be opened.
    std::unique_ptr<RegistryStore> m_registry;
    std::string m_openError;
    std::string m_writeError;
};

} // namespace halcyra
