#include "app/gui/command_line.h"

#include "gui_test_registry.h"

#include <QtTest>

class CommandLineTest : public QObject {
    Q_OBJECT

private slots:
    void parsesSettingsAndDebug() {
        tarvu::GuiOptions options;
        QString message;
        QCOMPARE(tarvu::ParseGuiCommandLine({"tarvu"}, options, message),
                 tarvu::CommandLineResult::kRun);
        QVERIFY(options.settingsFile.isEmpty());
        QVERIFY(!options.debug);

        QCOMPARE(tarvu::ParseGuiCommandLine({"tarvu", "--settings", "/tmp/a b.ini", "--debug"},
                                            options, message),
                 tarvu::CommandLineResult::kRun);
        QCOMPARE(options.settingsFile, QStringLiteral("/tmp/a b.ini"));
        QVERIFY(options.debug);
    }

    void rejectsMistakes() {
        const QList<QStringList> wrong = {{"tarvu", "--bogus"},
                                          {"tarvu", "--settings"},
                                          {"tarvu", "stray"},
                                          {"tarvu", "--settings="}};
        for (const QStringList& arguments : wrong) {
            tarvu::GuiOptions options;
            QString message;
            QCOMPARE(tarvu::ParseGuiCommandLine(arguments, options, message),
                     tarvu::CommandLineResult::kExitFailure);
            QVERIFY(!message.isEmpty());
        }
        tarvu::GuiOptions options;
        QString message;
        QCOMPARE(tarvu::ParseGuiCommandLine({"tarvu", "--help"}, options, message),
                 tarvu::CommandLineResult::kExitSuccess);
        QVERIFY(message.contains("--settings"));
    }
};

TARVU_GUI_TEST(CommandLineTest);

#include "command_line_test.moc"
