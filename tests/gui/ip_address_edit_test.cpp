#include "app/gui/ip_address_edit.h"

#include "gui_test_registry.h"
#include "type_text.h"

#include <QSignalSpy>
#include <QtTest>

#include <array>
#include <cstdint>

using Octets = std::array<uint8_t, 4>;
using tarvu::test::Type;

class IpAddressEditTest : public QObject {
    Q_OBJECT

private:
    // A shown, focused control with the cursor in its first field.
    static std::unique_ptr<tarvu::IpAddressEdit> Shown() {
        auto edit = std::make_unique<tarvu::IpAddressEdit>();
        edit->resize(200, 24);
        edit->show();
        edit->activateWindow();
        if (!QTest::qWaitForWindowActive(edit.get())) {
            qWarning("window not active");
        }
        edit->Field(0)->setFocus();
        return edit;
    }

    static QWidget* Focused() { return QApplication::focusWidget(); }

private slots:
    void typedAddressFillsTheFourFields() {
        auto edit = Shown();
        Type("192.168.1.5");
        QCOMPARE(edit->Field(0)->text(), QStringLiteral("192"));
        QCOMPARE(edit->Field(1)->text(), QStringLiteral("168"));
        QCOMPARE(edit->Field(2)->text(), QStringLiteral("1"));
        QCOMPARE(edit->Field(3)->text(), QStringLiteral("5"));
        QVERIFY(edit->Address() == (Octets{192, 168, 1, 5}));
        QVERIFY(!edit->IsBlank());
    }

    void dotAndThirdDigitMoveOn() {
        auto edit = Shown();
        Type("12.");
        QCOMPARE(Focused(), edit->Field(1));
        // A dot in an empty field stays there: "1..2" does not skip a field.
        Type(".");
        QCOMPARE(Focused(), edit->Field(1));
        Type("123");
        QCOMPARE(Focused(), edit->Field(2));
        Type("4");
        QCOMPARE(Focused(), edit->Field(2));
        // The last field keeps the focus after its third digit.
        Type(".254");
        QCOMPARE(Focused(), edit->Field(3));
        QVERIFY(edit->Address() == (Octets{12, 123, 4, 254}));
        // Letters never get in.
        Type("x");
        QCOMPARE(edit->Field(3)->text(), QStringLiteral("254"));
    }

    void valuesAboveTwoFiftyFiveClampTo255() {
        auto edit = Shown();
        Type("300");
        QCOMPARE(edit->Field(0)->text(), QStringLiteral("255"));
        QCOMPARE(Focused(), edit->Field(1));
        Type("256999");
        QCOMPARE(edit->Field(1)->text(), QStringLiteral("255"));
        QCOMPARE(edit->Field(2)->text(), QStringLiteral("255"));
        QVERIFY(edit->Address() == (Octets{255, 255, 255, 0}));
    }

    void setAddressShowsItAndClearBlanksIt() {
        tarvu::IpAddressEdit edit;
        QSignalSpy changed(&edit, &tarvu::IpAddressEdit::addressChanged);
        edit.SetAddress({10, 0, 0, 255});
        QCOMPARE(edit.Field(0)->text(), QStringLiteral("10"));
        QCOMPARE(edit.Field(1)->text(), QStringLiteral("0"));
        QCOMPARE(edit.Field(3)->text(), QStringLiteral("255"));
        QVERIFY(edit.Address() == (Octets{10, 0, 0, 255}));
        QVERIFY(!edit.IsBlank());  // 0 typed or set is not blank
        QVERIFY(changed.count() > 0);
        edit.Field(0)->clear();
        QVERIFY(edit.Address() == (Octets{0, 0, 0, 255}));  // a blank field reads 0

        changed.clear();
        edit.Clear();
        QVERIFY(edit.IsBlank());
        QVERIFY(edit.Address() == (Octets{0, 0, 0, 0}));
        QVERIFY(changed.count() > 0);
    }

    void backspaceInEmptyFieldMovesBack() {
        auto edit = Shown();
        Type("10.2");
        QCOMPARE(Focused(), edit->Field(1));
        QTest::keyClick(Focused(), Qt::Key_Backspace);  // deletes the 2
        QCOMPARE(edit->Field(1)->text(), QString());
        QCOMPARE(Focused(), edit->Field(1));
        QTest::keyClick(Focused(), Qt::Key_Backspace);  // empty: back to the end of field 0
        QCOMPARE(Focused(), edit->Field(0));
        QTest::keyClick(Focused(), Qt::Key_Backspace);
        QCOMPARE(edit->Field(0)->text(), QStringLiteral("1"));
        // The first field has nowhere to go back to.
        QTest::keyClick(Focused(), Qt::Key_Backspace);
        QTest::keyClick(Focused(), Qt::Key_Backspace);
        QCOMPARE(Focused(), edit->Field(0));
        QVERIFY(edit->IsBlank());
    }

    void leadingZerosNormaliseWhenLeavingField() {
        auto edit = Shown();
        Type("007");
        QCOMPARE(Focused(), edit->Field(1));
        QCOMPARE(edit->Field(0)->text(), QStringLiteral("7"));
        QVERIFY(edit->Address() == (Octets{7, 0, 0, 0}));
    }
};

TARVU_GUI_TEST(IpAddressEditTest);

#include "ip_address_edit_test.moc"
