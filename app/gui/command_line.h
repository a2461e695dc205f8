#pragma once
// The dialog's command line: tarvu [--settings FILE] [--debug] [--log FILE] [--pcap FILE],
// with Qt's own options (-platform NAME and the like) accepted beside them.

#include <QString>
#include <QStringList>

namespace tarvu {

struct GuiOptions {
    QString settingsFile;  // empty: settings.ini in the usual place
    bool debug = false;    // debug output to standard error
    QString logFile;       // empty: no log file
    QString pcapFile;      // empty: no capture file
};

enum class CommandLineResult { kRun, kExitSuccess, kExitFailure };

// Parses the arguments (the program name first). On kExitSuccess (--help, --help-all,
// --version) and kExitFailure, `message` holds what to print; building it needs an
// application object (QCoreApplication will do).
CommandLineResult ParseGuiCommandLine(const QStringList& arguments, GuiOptions& options,
                                      QString& message);

// ParseGuiCommandLine's result alone; needs no application object, so the command line can be
// read before anything opens the display.
CommandLineResult CheckGuiCommandLine(const QStringList& arguments);

}  // namespace tarvu
