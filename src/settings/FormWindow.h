#pragma once

#include "platform/UiServices.h"

#include <string>

namespace halcyra {

// The parts of a top-level window whose placement is remembered. Bounds are in screen pixels; for a
// maximised or minimised window they are its normal (restored) bounds.
class FormWindow {
public:
    virtual ~FormWindow() = default;
    // The window's component name, as used in the names of its placement values.
    virtual std::string name() const = 0;
    virtual ScreenRect bounds() const = 0;
    virtual void setBounds(const ScreenRect& bounds) = 0;
    // Places the window, at its current size, in the centre of the screen.
    virtual void centreOnScreen() = 0;
    // Whether `bounds` overlaps the available area of at least one connected screen.
    virtual bool touchesAnyScreen(const ScreenRect& bounds) const = 0;
    // Turns the window's automatic scrolling of its contents on or off.
    virtual void setAutoScroll(bool on) = 0;
};

} // namespace halcyra
