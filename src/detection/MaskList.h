#pragma once

#include "base/Wildcard.h"

#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

// The error text for a file mask that cannot be used ("'%s' is an invalid mask at (%d)"), or the
// empty text when the mask is valid.
std::string invalidMaskText(std::string_view mask);

// A list of file masks read from comma text, sorted without regard to ASCII case with duplicates
// (under that comparison) dropped, matched against bare file names.
class MaskList {
public:
    // Replaces the list with the masks of `commaText`. With `starDotStarMeansAll`, a "*.*" in a list
    // that holds no "*" becomes "*". Returns the error text of the first invalid mask (in list order),
    // or the empty text; the valid masks are kept either way.
    std::string assign(std::string_view commaText, bool starDotStarMeansAll);

    // Whether some mask matches the whole name; an empty list matches nothing.
    bool matchesAny(std::string_view name) const;

    const std::vector<std::string>& texts() const { return m_texts; }
    bool empty() const { return m_texts.empty(); }

private:
    std::vector<std::string> m_texts;
    std::vector<WildcardMask> m_masks;
};

} // namespace halcyra
