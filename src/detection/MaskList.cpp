#include "detection/MaskList.h"

#include "base/AsciiCase.h"
#include "detection/CommaText.h"

#include <algorithm>

namespace halcyra {

namespace {

bool lessIgnoringCase(std::string_view left, std::string_view right) {
    return orderIgnoringAsciiCase(left, right) < 0;
}

} // namespace

std::string invalidMaskText(std::string_view mask) {
    std::size_t position = 0;
    if (WildcardMask::compile(mask, WildcardMask::Syntax::FileMask, &position))
        return {};
    return "'" + std::string(mask) + "' is an invalid mask at (" + std::to_string(position) + ")";
}

std::string MaskList::assign(std::string_view commaText, bool starDotStarMeansAll) {
    m_texts.clear();
    m_masks.clear();
    for (std::string& item : splitCommaText(commaText)) {
        const auto at = std::lower_bound(m_texts.begin(), m_texts.end(), item, lessIgnoringCase);
        if (at == m_texts.end() || lessIgnoringCase(item, *at))
            m_texts.insert(at, std::move(item));
    }
    if (starDotStarMeansAll && std::find(m_texts.begin(), m_texts.end(), "*") == m_texts.end()) {
        const auto starDotStar = std::find(m_texts.begin(), m_texts.end(), "*.*");
        if (starDotStar != m_texts.end()) {
            m_texts.erase(starDotStar);
            m_texts.insert(
                std::lower_bound(m_texts.begin(), m_texts.end(), std::string("*"), lessIgnoringCase), "*");
        }
    }
    std::string error;
    for (const std::string& text : m_texts) {
        if (auto mask = WildcardMask::compile(text, WildcardMask::Syntax::FileMask))
            m_masks.push_back(std::move(*mask));
        else if (error.empty())
            error = invalidMaskText(text);
    }
    return error;
}

bool MaskList::matchesAny(std::string_view name) const {
    for (const WildcardMask& mask : m_masks)
        if (mask.matches(name))
            return true;
    return false;
}

} // namespace halcyra
