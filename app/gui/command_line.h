#pragma once
// The dialog's command line: tarvu [--settings FILE] [--debug] [--log FILE] [--pcap FILE].

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

// Parses the arguments (the program name first). On kExitSuccess (--help, --version) and
// kExitFailure, `message` holds what to print.
CommandLineResult ParseGuiCommandLine(const QStringList& arguments, GuiOptions& options,
                                      QString& message);

}  // namespace tarvu
