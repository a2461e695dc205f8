#include "app/gui/qt_message_box.h"
#include "gui_test_registry.h"
#include "platform/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <atomic>
#include <thread>

class MessageBoxHandlerTest : public QObject {
    Q_OBJECT

private slots:
    // The engine tells the user from its worker thread (a send port out of range, a packet
    // too long for the cipher). The worker must not wait for the user-interface thread, which
    // may itself be waiting for the worker to end while the dialog closes.
    void boxFromTheWorkerDoesNotWaitForTheUserInterface() {
        QWidget owner;
        owner.show();
        tarvu::InstallQtMessageBoxHandler(&owner);
        std::atomic<bool> returned{false};
        std::thread worker([&returned] {
            tarvu::ShowMessageBox("Внимание!", "Порт передачи 70000 вне пределов 0..65535");
            returned = true;
        });
        // This thread runs no events until the worker has returned.
        worker.join();
        QVERIFY(returned);

        // The box then opens over the owner once the user-interface thread gets to it.
        QString caption;
        QString text;
        QWidget* parent = nullptr;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(widget);
                if (box != nullptr && box->isVisible()) {
                    caption = box->windowTitle();
                    text = box->text();
                    parent = box->parentWidget();
                    box->accept();
                }
            }
        });
        closer.start(10);
        QTRY_VERIFY_WITH_TIMEOUT(!text.isEmpty(), 5000);
        QCOMPARE(caption, QString("Внимание!"));
        QCOMPARE(text, QString("Порт передачи 70000 вне пределов 0..65535"));
        QCOMPARE(parent, &owner);
        tarvu::SetMessageBoxHandler({});
    }
};

TARVU_GUI_TEST(MessageBoxHandlerTest);

#include "message_box_handler_test.moc"
