// Runs every registered GUI test class, or only the one named by the first argument
// (tarvu_gui_tests TraceViewTest [Qt Test options]); the exit status counts failed classes.

#include "gui_test_registry.h"

#include <QApplication>
#include <QtTest>

#include <cstring>

int main(int argc, char** argv) {
    qputenv("TARVU_NO_ANIMATION", "1");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    const char* only = nullptr;
    if (argc > 1 && argv[1][0] != '-') {
        only = argv[1];
        for (int i = 1; i + 1 < argc; ++i) {
            argv[i] = argv[i + 1];
        }
        --argc;
    }
    int failed = 0;
    int run = 0;
    for (const auto& factory : tarvu::test::GuiTests()) {
        std::unique_ptr<QObject> test = factory();
        if (only != nullptr && std::strcmp(test->metaObject()->className(), only) != 0) {
            continue;
        }
        ++run;
        if (QTest::qExec(test.get(), argc, argv) != 0) {
            ++failed;
        }
    }
    return run == 0 ? 1 : failed;
}
