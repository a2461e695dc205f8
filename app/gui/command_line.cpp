#include "app/gui/command_line.h"

#include "tarvu_build_info.h"

#include <QCommandLineParser>

namespace tarvu {

CommandLineResult ParseGuiCommandLine(const QStringList& arguments, GuiOptions& options,
                                      QString& message) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Tarvu: test client for the GPRS connection of alarm-system converters."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption settings(
        QStringList{QStringLiteral("settings")},
        QStringLiteral("Settings file to use instead of settings.ini."), QStringLiteral("FILE"));
    const QCommandLineOption debug(QStringList{QStringLiteral("debug")},
                                   QStringLiteral("Write debug output to standard error."));
    const QCommandLineOption log(
        QStringList{QStringLiteral("log")},
        QStringLiteral("Append the session to this file: a header line, then every trace line."),
        QStringLiteral("FILE"));
    const QCommandLineOption pcap(
        QStringList{QStringLiteral("pcap")},
        QStringLiteral("Write every UDP datagram sent and received to this pcap capture file."),
        QStringLiteral("FILE"));
    parser.addOption(settings);
    parser.addOption(debug);
    parser.addOption(log);
    parser.addOption(pcap);

    if (!parser.parse(arguments)) {
        message = parser.errorText() + QLatin1Char('\n') + parser.helpText();
        return CommandLineResult::kExitFailure;
    }
    if (parser.isSet(help)) {
        message = parser.helpText();
        return CommandLineResult::kExitSuccess;
    }
    if (parser.isSet(version)) {
        message = QStringLiteral("tarvu " TARVU_VERSION "\n" TARVU_COPYRIGHT_LINE
                                 "\n" TARVU_LICENSE_LINE "\n");
        return CommandLineResult::kExitSuccess;
    }
    if (!parser.positionalArguments().isEmpty()) {
        message = QStringLiteral("Unexpected argument: ") + parser.positionalArguments().first() +
                  QLatin1Char('\n') + parser.helpText();
        return CommandLineResult::kExitFailure;
    }
    if (parser.isSet(settings)) {
        options.settingsFile = parser.value(settings);
        if (options.settingsFile.isEmpty()) {
            message = QStringLiteral("--settings needs a file name\n");
            return CommandLineResult::kExitFailure;
        }
    }
    options.debug = parser.isSet(debug);
    options.logFile = parser.value(log);
    options.pcapFile = parser.value(pcap);
    return CommandLineResult::kRun;
}

}  // namespace tarvu
