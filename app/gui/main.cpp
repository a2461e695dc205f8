// tarvu: the client's dialog.

#include "app/gui/command_line.h"
#include "app/gui/main_dialog.h"
#include "app/gui/qt_message_box.h"
#include "app/main_dialog_logic.h"
#include "app/settings.h"
#include "platform/debug_output.h"
#include "platform/message_box.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>
#include <filesystem>

namespace {

void SetApplicationNames() {
    QCoreApplication::setApplicationName(QStringLiteral("tarvu"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));
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
    if (!Parse(options, status)) {
        return status;
    }
    tarvu::EnableDebugToStderr(options.debug);

    // The dialog hides in the notification area and About boxes come and go: only the
    // dialog's end ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    tarvu::Settings settings =
        tarvu::Settings::Locate(std::filesystem::path(options.settingsFile.toStdString()));
    tarvu::ControlState controls;
    tarvu::MainDialog dialog(controls);
    tarvu::InstallQtMessageBoxHandler(&dialog);
    {
        // Declared after the dialog, so destroyed first: it closes the channel before the
        // dialog that the worker traces into goes away.
        tarvu::MainDialogLogic logic(dialog, settings,
                                     QApplication::applicationName().toStdString());
        tarvu::DialogHooks hooks;
        hooks.controlsChanged = [&logic] { logic.PublishControls(); };
        hooks.readPortChanged = [&logic](const std::string&) { logic.OnReadPortChanged(); };
        hooks.send = [&logic] { logic.Send(); };
        hooks.ok = [&logic] {
            logic.OkSteps();
            logic.DestroySteps();
        };
        hooks.escape = [&logic] { logic.EscapeSteps(); };
        dialog.SetHooks(hooks);
        logic.Initialise();

        QObject::connect(&dialog, &QDialog::finished, &app, &QCoreApplication::quit);
        dialog.show();
        status = QApplication::exec();
        dialog.SetHooks({});
    }
    tarvu::SetMessageBoxHandler({});
    return status;
}
