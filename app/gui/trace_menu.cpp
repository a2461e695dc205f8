#include "app/gui/trace_menu.h"

#include <QMenu>
#include <QPlainTextEdit>

namespace tarvu {

TraceMenu::TraceMenu(QPlainTextEdit& field, QObject* parent) : QObject(parent), field_(field) {
    field_.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&field_, &QWidget::customContextMenuRequested, this, &TraceMenu::Show);
}

void TraceMenu::AddSection(Section section) {
    sections_.push_back(std::move(section));
}

std::unique_ptr<QMenu> TraceMenu::Build() {
    std::unique_ptr<QMenu> menu(field_.createStandardContextMenu());
    for (const Section& section : sections_) {
        menu->addSeparator();
        section(*menu);
    }
    return menu;
}

void TraceMenu::Show(const QPoint& position) {
    // Not modal: the menu deletes itself when it closes, and the trace keeps updating
    // behind it.
    QMenu* menu = Build().release();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(field_.viewport()->mapToGlobal(position));
}

}  // namespace tarvu
