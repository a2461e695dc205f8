// Runs every registered GUI test class; the exit status counts the failed classes.

#include "gui_test_registry.h"

#include <QApplication>
#include <QtTest>

int main(int argc, char** argv) {
    qputenv("TARVU_NO_ANIMATION", "1");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    int failed = 0;
    for (const auto& factory : tarvu::test::GuiTests()) {
        std::unique_ptr<QObject> test = factory();
        if (QTest::qExec(test.get(), argc, argv) != 0) {
            ++failed;
        }
    }
    return failed;
}
