// tarvu: the client's dialog.

#include "app/gui/client_app.h"
#include "app/gui/command_line.h"
#include "app/gui/qt_message_box.h"
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

bool AsksForHelp(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "-h" || arg == "--help" || arg == "--help-all" || arg == "-v" ||
            arg == "--version") {
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    tarvu::GuiOptions options;
    int status = 0;
    // Help needs no display; everything else is parsed after the GUI application has taken
    // its own options (-platform and the like) out of the arguments.
    if (AsksForHelp(argc, argv)) {
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
