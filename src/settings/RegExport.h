#pragma once

#include "settings/RegText.h"

#include <string>
#include <string_view>

namespace halcyra {

class RegistryStore;

// Writes the key `KeyPath` under `RootKey` (one trailing "\" ignored) with all its values and sub-keys to
// `FileName` as "REGEDIT4" registry text: CR LF line ends, each key as an empty line and its key line, its
// values in creation order, then its sub-keys depth first. Strings as "text" (\ and " escaped), 32-bit
// integers as dword:XXXXXXXX, binary data as hex:, expandable strings as hex(2): (UTF-16LE with its
// terminating zero) and multi-strings as hex(7):, the byte lists broken after 26 bytes and then every 25;
// any other type as "". A key that does not exist gives its key line alone.
//
// The file is created or truncated. False, with `ErrorText` saying why, when the store cannot be read, a key
// name holds a line end (the text could not carry it), or the file cannot be created or fully written.
// Without `store` the user's settings store is opened.
bool ExportRegistryKey(RegRoot RootKey, std::string_view KeyPath, const std::string& FileName,
                       std::string& ErrorText, RegistryStore* store = nullptr);

// The registry text ExportRegistryKey writes, or nothing with `ErrorText` set.
bool RegistryKeyText(RegistryStore& store, RegRoot RootKey, std::string_view KeyPath, std::string& Text,
                     std::string& ErrorText);

} // namespace halcyra
