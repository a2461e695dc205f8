// tarvu: the client's dialog.

#include "app/gui/client_app.h"
#include "app/gui/command_line.h"
#include "app/gui/qt_message_box.h"
#include "app/gui/qt_translations.h"
#include "app/gui/signal_closer.h"
#include "app/settings.h"
#include "platform/debug_output.h"
#include "platform/message_box.h"
#include "tarvu_build_info.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <filesystem>

namespace {

void SetApplicationNames() {
    QCoreApplication::setApplicationName(QStringLiteral("tarvu"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARVU_VERSION));
}

// The desktop finds the menu entry and icon of the windows by this name (Wayland's app id).
void SetDesktopFileName() {
    QGuiApplication::setDesktopFileName(QStringLiteral(TARVU_APP_ID));
}

// Prints what the parser has to say and tells whether the program goes on.
bool Parse(tarvu::GuiOptions& options, int& status) {
    QString message;
    const tarvu::CommandLineResult result =
        tarvu::ParseGuiCommandLine(QCoreApplication::arguments(), options, message);
    const QByteArray text = message.toLocal8Bit();
    if (result == tarvu::CommandLineResult::kRun) {
        return true;
    }
    const bool success = result == tarvu::CommandLineResult::kExitSuccess;
    std::fputs(text.constData(), success ? stdout : stderr);
    status = success ? 0 : 2;
    return false;
}

QStringList RawArguments(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    return arguments;
}

}  // namespace

int main(int argc, char** argv) {
    tarvu::GuiOptions options;
    int status = 0;
    // The command line is read before the display opens, so that help, the version and usage
    // errors need none; the dialog's application then takes Qt's own options out of it.
    if (tarvu::CheckGuiCommandLine(RawArguments(argc, argv)) != tarvu::CommandLineResult::kRun) {
        QCoreApplication probe(argc, argv);
        SetApplicationNames();
        Parse(options, status);
        return status;
    }
    QApplication app(argc, argv);
    SetApplicationNames();
    SetDesktopFileName();
    if (!Parse(options, status)) {
        return status;
    }
    tarvu::EnableDebugToStderr(options.debug);
    // After the command line: --help and its errors stay in English, as the options are.
    if (tarvu::InstallQtRussianTexts(app) == nullptr) {
        tarvu::OutputDebugString(
            "tarvu: no Russian translation of Qt found; Qt's own texts stay English\n");
    }

    // The dialog hides in the notification area and About boxes come and go: only the
    // dialog's end ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    // From UTF-16, not from a narrow string, which Windows would read in its ANSI code page.
    tarvu::Settings settings =
        tarvu::Settings::Locate(std::filesystem::path(options.settingsFile.toStdU16String()));
    {
        // Taken over before the start-up, so that a signal arriving while it runs waits for
        // the event loop instead of ending the program unsaved.
        tarvu::SignalCloser stopSignals;
        tarvu::ClientApp client(settings, QApplication::applicationName().toStdString());
        tarvu::InstallQtMessageBoxHandler(&client.Dialog());
        QObject::connect(&client.Dialog(), &QDialog::finished, &app, &QCoreApplication::quit);
        // The same closing as the close box, also while the window hides in the tray.
        // A message box open at that moment (the start-up's port failure, say) runs an event
        // loop of its own and would hold the program: it is closed first, and the dialog closes
        // from the event loop that runs next.
        QObject::connect(
            &stopSignals, &tarvu::SignalCloser::closeRequested, &client.Dialog(), [&client] {
                // Nobody may be at the screen to dismiss a box the closing raises (a settings
                // file that cannot be written): from now on messages go to standard error.
                tarvu::SetMessageBoxHandler({});
                for (QWidget* widget : QApplication::topLevelWidgets()) {
                    if (widget != &client.Dialog() && widget->isModal() && widget->isVisible()) {
                        widget->close();
                    }
                }
                QTimer::singleShot(0, &client.Dialog(), &QWidget::close);
            });
        client.OpenRecordFiles(options.logFile.toStdString(), options.pcapFile.toStdString());
        client.Start();
        status = QApplication::exec();
    }
    tarvu::SetMessageBoxHandler({});
    return status;
}
