#include "app/gui/qt_message_box.h"

#include "platform/message_box.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>
#include <QThread>
#include <QWidget>

namespace tarvu {
namespace {

void ShowBox(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace

void InstallQtMessageBoxHandler(QWidget* parent) {
    QPointer<QWidget> owner(parent);
    SetMessageBoxHandler([owner](const std::string& caption, const std::string& text) {
        const QString qCaption = QString::fromStdString(caption);
        const QString qText = QString::fromStdString(text);
        QCoreApplication* app = QCoreApplication::instance();
        if (app == nullptr) {
            return;
        }
        if (QThread::currentThread() == app->thread()) {
            ShowBox(owner.data(), qCaption, qText);
            return;
        }
        QMetaObject::invokeMethod(
            app, [owner, qCaption, qText] { ShowBox(owner.data(), qCaption, qText); },
            Qt::QueuedConnection);
    });
}

}  // namespace tarvu
