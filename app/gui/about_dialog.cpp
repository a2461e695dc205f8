#include "app/gui/about_dialog.h"

#include "app/gui/app_icon.h"
#include "app/gui/dialog_units.h"
#include "tarvu_build_info.h"

#include <QLabel>
#include <QPushButton>

namespace tarvu {

QString AboutMenuText() {
    return QStringLiteral("&About Tarvu...");
}

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("about"));
    setWindowTitle(QStringLiteral("About Tarvu"));
    setWindowIcon(AppIcon());
    setFont(DialogFont());
    const DialogUnits units = DialogUnits::FromFont(font());

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("aboutIcon"));
    const QRect iconRect = units.ToPixels(QRect(11, 10, 20, 20));
    icon->setGeometry(iconRect);
    icon->setPixmap(AppIcon().pixmap(iconRect.size().boundedTo(QSize(32, 32))));

    auto* version = new QLabel(QStringLiteral("Tarvu Version " TARVU_VERSION), this);
    version->setObjectName(QStringLiteral("aboutVersion"));
    version->setTextFormat(Qt::PlainText);
    version->setGeometry(units.ToPixels(QRect(40, 10, 119, 8)));

    // Below the OK button the lines may run the whole width.
    auto* copyright = new QLabel(QStringLiteral(TARVU_COPYRIGHT_LINE), this);
    copyright->setObjectName(QStringLiteral("aboutCopyright"));
    copyright->setTextFormat(Qt::PlainText);
    copyright->setGeometry(units.ToPixels(QRect(40, 24, 188, 8)));

    auto* licence = new QLabel(QStringLiteral(TARVU_LICENSE_LINE), this);
    licence->setObjectName(QStringLiteral("aboutLicence"));
    licence->setTextFormat(Qt::PlainText);
    licence->setGeometry(units.ToPixels(QRect(40, 35, 188, 8)));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("aboutOk"));
    ok->setDefault(true);
    ok->setGeometry(units.ToPixels(QRect(178, 7, 50, 14)));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    setFixedSize(units.ToPixels(QSize(235, 55)));
}

}  // namespace tarvu
