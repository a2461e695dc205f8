#pragma once
// The trace field's one context menu: the field's own edit items, then the items of each
// feature that joined, in the order they joined, each group after a separator. Features add
// their items here when the menu is built; none connects a handler of its own to the field's
// menu request, so a right-click always opens exactly one menu.

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

class QMenu;
class QPlainTextEdit;
class QPoint;

namespace tarvu {

class TraceMenu : public QObject {
    Q_OBJECT

public:
    // Adds a feature's items to a menu being built.
    using Section = std::function<void(QMenu& menu)>;

    // `field` outlives this object.
    explicit TraceMenu(QPlainTextEdit& field, QObject* parent = nullptr);

    void AddSection(Section section);

    // The menu as a right-click on the field shows it; the caller owns it.
    std::unique_ptr<QMenu> Build();

private:
    void Show(const QPoint& position);

    QPlainTextEdit& field_;
    std::vector<Section> sections_;
};

}  // namespace tarvu
