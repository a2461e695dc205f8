#pragma once
// The About box: the icon, "Tarvu Version X.Y.Z", the copyright and licence lines and OK,
// 235 x 55 dialog units.

#include <QDialog>

namespace tarvu {

class AboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

// Text of the menu item that opens the About box.
QString AboutMenuText();

}  // namespace tarvu
