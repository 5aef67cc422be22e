#pragma once

#include <QCursor>
#include <QGuiApplication>

namespace halcyra {

// The hourglass for one scope; the previous cursor comes back however the scope ends.
class BusyCursor {
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace halcyra
