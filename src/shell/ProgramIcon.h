#pragma once

#include <QIcon>

namespace halcyra {

// The program's own icon, the one installed with its desktop entry, drawn at the usual icon sizes: the
// application's window icon, the tray icon's image and the About window's logo. Null when it cannot be
// drawn.
QIcon programIcon();

} // namespace halcyra
