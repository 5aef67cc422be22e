#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

// Splits comma text into its items, in order: items are separated by commas; blanks and control
// characters around an item are skipped, and an unquoted item also ends at one; an item enclosed in
// double quotes may hold blanks and commas, a doubled quote inside standing for one (an unclosed
// quote runs to the end); a comma at the very end adds an empty item. "My *.doc" gives two items.
std::vector<std::string> splitCommaText(std::string_view text);

// The same rule with another delimiter in place of the comma (a blank still ends an unquoted item).
std::vector<std::string> splitDelimitedText(std::string_view text, char delimiter);

// Joins items into comma text that splitCommaText reads back to exactly the same items: an item that
// is empty or holds a blank, a control character, a comma or a double quote is enclosed in double
// quotes with its quotes doubled.
std::string joinCommaText(const std::vector<std::string>& items);

} // namespace halcyra
