#pragma once

#include <QString>

#include <string_view>

namespace halcyra {

// Names and texts are UTF-8 bytes everywhere outside the windows; this is the one way in.
inline QString qtText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace halcyra
