#include "app/gui/app_icon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

// The resource lives in a static library, whose initialiser the linker may drop; registering
// it by hand must happen outside any namespace.
static void InitTarvuResources() {
    Q_INIT_RESOURCE(tarvu);
}

namespace tarvu {

QIcon AppIcon() {
    // Not cached: a static icon would outlive the application object.
    InitTarvuResources();
    QSvgRenderer renderer(QStringLiteral(":/tarvu/tarvu.svg"));
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace tarvu
