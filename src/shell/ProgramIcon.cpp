#include "shell/ProgramIcon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace halcyra {

QIcon programIcon() {
    // Drawn by the SVG renderer itself, so that no image-format plugin is needed at run time.
    QIcon icon;
    QSvgRenderer renderer(QStringLiteral(":/halcyra.svg"));
    if (!renderer.isValid())
        return icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace halcyra
