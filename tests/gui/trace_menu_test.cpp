// The trace field's context menu as the engineer meets it: a right-click that goes through the
// window system, as a mouse's does, opens one menu with the field's own items and every item
// of ours, in Russian.

// The mouse functions of Qt Test then go through the platform's event path, where a right
// press turns into the context-menu request, instead of handing the widget a bare mouse event.
#define QTEST_QPA_MOUSE_HANDLING

#include "app/gui/client_app.h"
#include "app/gui/qt_translations.h"
#include "app/gui/session_record_menu.h"
#include "app/gui/trace_view.h"
#include "app/settings.h"
#include "app/settings_keys.h"
#include "gui_test_registry.h"
#include "loopback_peer.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include <memory>

namespace {

bool NoAddresses(std::vector<tarvu::LocalAddress>& out) {
    out.clear();
    return true;
}

// A menu's items as shown, separators left out, each text without its shortcut.
QStringList ItemTexts(const QMenu& menu) {
    QStringList texts;
    for (const QAction* action : menu.actions()) {
        if (!action->isSeparator()) {
            texts << action->text().section(QLatin1Char('\t'), 0, 0);
        }
    }
    return texts;
}

}  // namespace

class TraceMenuTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> directory_;
    std::unique_ptr<tarvu::Settings> settings_;
    std::unique_ptr<tarvu::ClientApp> client_;

    void Start() {
        QVERIFY(settings_->Write(tarvu::kSectionUdp, tarvu::kKeyReadPort,
                                 std::to_string(tarvu::test::FreeUdpPort())));
        client_ = std::make_unique<tarvu::ClientApp>(*settings_, "tarvu",
                                                     tarvu::TransportChannels(), NoAddresses);
        client_->Start();
        QVERIFY(QTest::qWaitForWindowExposed(&client_->Dialog()));
    }

    // Right-clicks the trace field and returns the items of every menu that opened, closing
    // each as it shows, whether it waits in an event loop of its own or not.
    QList<QStringList> RightClickTrace() {
        QList<QStringList> menus;
        QTimer watcher;
        watcher.setInterval(10);
        connect(&watcher, &QTimer::timeout, this, [&menus] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                menus << ItemTexts(*menu);
                menu->close();
            }
        });
        watcher.start();
        QWidget* viewport = client_->Dialog().Trace().viewport();
        QTest::mouseClick(viewport, Qt::RightButton, {}, QPoint(20, 20));
        // Long enough for a second menu that would follow the first.
        QTest::qWait(300);
        return menus;
    }

private slots:
    void init() {
        directory_ = std::make_unique<QTemporaryDir>();
        QVERIFY(directory_->isValid());
        settings_ = std::make_unique<tarvu::Settings>(
            std::filesystem::path(directory_->filePath("settings.ini").toStdString()));
    }
    void cleanup() {
        client_.reset();
        settings_.reset();
        directory_.reset();
    }

    // One menu, not one per feature: the field's own items first, then ours in this order.
    void rightClickOpensOneMenuWithEveryItem() {
        Start();
        const QList<QStringList> menus = RightClickTrace();
        QCOMPARE(menus.size(), 1);
        const QStringList items = menus.first();
        const QStringList ours = {
            tarvu::SessionRecordMenu::SaveLogText(),
            tarvu::SessionRecordMenu::SaveCaptureText(),
            QStringLiteral("Расшифровка пакетов"),
            QStringLiteral("Показатели сеанса..."),
        };
        QVERIFY2(items.size() > ours.size(), qPrintable(items.join(QLatin1Char('|'))));
        QCOMPARE(items.mid(items.size() - ours.size()), ours);
    }

    // With Qt's Russian translation installed the field's own items are Russian as well.
    void standardItemsAreRussian() {
        std::unique_ptr<QTranslator> translator(tarvu::InstallQtRussianTexts(*qApp));
        QVERIFY2(translator != nullptr, "Qt's Russian translation (qt6-translations-l10n)");
        Start();
        const QList<QStringList> menus = RightClickTrace();
        QCOMPARE(menus.size(), 1);
        QVERIFY2(menus.first().contains(QStringLiteral("&Копировать")),
                 qPrintable(menus.first().join(QLatin1Char('|'))));
        QVERIFY(menus.first().contains(QStringLiteral("Выделить всё")));
        // The other test classes of this program keep Qt's English texts.
        QCoreApplication::removeTranslator(translator.get());
    }
};

TARVU_GUI_TEST(TraceMenuTest);

#include "trace_menu_test.moc"
