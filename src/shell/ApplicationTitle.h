#pragma once

#include "HalcyraVersion.h"

#include <string_view>

namespace halcyra {

// The desktop program's title: the main window's caption, the start of the tray icon's hint and of the About
// window's caption.
inline constexpr std::string_view ApplicationTitle = HALCYRA_TITLE;

} // namespace halcyra
