#include "app/gui/tray_controller.h"

#include "gui_test_registry.h"

#include <QtTest>

#include <string>
#include <vector>

namespace {

class FakeTrayHost : public tarvu::TrayHost {
public:
    bool available = true;
    std::vector<std::string> calls;

    bool TrayAvailable() const override { return available; }
    void HideWindow() override { calls.emplace_back("hide"); }
    void ShowWindow() override { calls.emplace_back("show"); }
    void AddIcon() override { calls.emplace_back("add"); }
    void RemoveIcon() override { calls.emplace_back("remove"); }
};

using Calls = std::vector<std::string>;

}  // namespace

class TrayControllerTest : public QObject {
    Q_OBJECT

private slots:
    // Minimise, then down, up, double-click, up: the first release (a single click) does
    // nothing, the double-click shows the window, the second release takes the icon away.
    void minimiseThenDoubleClickRestores() {
        FakeTrayHost host;
        tarvu::TrayController tray(host);
        QVERIFY(tray.Minimise());
        QVERIFY(host.calls == (Calls{"hide", "add"}));
        QVERIFY(tray.WindowHidden());

        tray.ButtonUp();
        QVERIFY(host.calls == (Calls{"hide", "add"}));
        QVERIFY(tray.WindowHidden());
        tray.DoubleClick();
        QVERIFY(host.calls == (Calls{"hide", "add", "show"}));
        QVERIFY(tray.IconPresent());
        QVERIFY(tray.RestorePending());

        tray.ButtonUp();
        QVERIFY(host.calls == (Calls{"hide", "add", "show", "remove"}));
        QVERIFY(!tray.IconPresent());
        QVERIFY(!tray.RestorePending());

        // A later minimise starts the cycle again with a fresh icon.
        QVERIFY(tray.Minimise());
        QVERIFY(host.calls.back() == "add");
    }

    void withoutNotificationAreaWindowMinimisesNormally() {
        FakeTrayHost host;
        host.available = false;
        tarvu::TrayController tray(host);
        QVERIFY(!tray.Minimise());
        QVERIFY(host.calls.empty());
        QVERIFY(!tray.WindowHidden());
        QVERIFY(!tray.IconPresent());
    }

    // Minimised again before the release that follows a restore: the release must not take
    // away the icon that is now the only way back to the window.
    void minimiseBeforeReleaseKeepsIcon() {
        FakeTrayHost host;
        tarvu::TrayController tray(host);
        tray.Minimise();
        tray.DoubleClick();
        host.calls.clear();

        QVERIFY(tray.Minimise());
        QVERIFY(host.calls == (Calls{"hide"}));
        QVERIFY(!tray.RestorePending());
        tray.ButtonUp();
        QVERIFY(tray.IconPresent());
        QVERIFY(tray.WindowHidden());
    }

    void restoreFromMenuShowsAndRemovesAtOnce() {
        FakeTrayHost host;
        tarvu::TrayController tray(host);
        tray.RestoreNow();
        tray.DoubleClick();
        QVERIFY(host.calls.empty());  // no icon yet: nothing to act on

        tray.Minimise();
        host.calls.clear();
        tray.RestoreNow();
        QVERIFY(host.calls == (Calls{"show", "remove"}));
        QVERIFY(!tray.WindowHidden());
        QVERIFY(!tray.IconPresent());
        QVERIFY(!tray.RestorePending());
    }
};

TARVU_GUI_TEST(TrayControllerTest);

#include "tray_controller_test.moc"
