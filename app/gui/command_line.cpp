#include "app/gui/command_line.h"

#include "tarvu_build_info.h"

#include <QCommandLineParser>

namespace tarvu {
namespace {

// Qt's own options, which the application objects and the X11 platform take out of the
// arguments once the display opens. The parser knows them too, so that the command line can
// be read before that; Qt reads them as -name or --name, with the value after a blank or '='.
struct QtOption {
    const char* name;
    const char* valueName;  // null for a switch
    const char* description;
};

constexpr QtOption kQtOptions[] = {
    {"platform", "NAME[:OPTIONS]", "Platform plugin: offscreen, xcb, wayland, ..."},
    {"platformpluginpath", "PATH", "Folder to load platform plugins from."},
    {"platformtheme", "THEME", "Platform theme."},
    {"plugin", "PLUGIN", "Further plugin to load, such as an input device."},
    {"qwindowgeometry", "GEOMETRY", "Geometry of the first window (WIDTHxHEIGHT+X+Y)."},
    {"qwindowicon", "ICON", "Icon of the windows."},
    {"qwindowtitle", "TITLE", "Title of the first window."},
    {"reverse", nullptr, "Lay out right to left."},
    {"session", "SESSION", "Session to restore."},
    {"display", "DISPLAY", "X11 display to connect to (xcb)."},
    {"geometry", "GEOMETRY", "Geometry of the first window (xcb)."},
    {"style", "STYLE", "Widget style, such as fusion."},
    {"stylesheet", "FILE", "Style sheet file."},
    {"widgetcount", nullptr, "Report widgets left at the end."},
    {"qmljsdebugger", "PORT", "QML debugger port (-qmljsdebugger=port:N)."},
};

QString QtOptionsHelp() {
    QString text = QStringLiteral("\nQt's own options (-name or --name):\n");
    for (const QtOption& option : kQtOptions) {
        QString entry = QStringLiteral("  -") + QLatin1String(option.name);
        if (option.valueName != nullptr) {
            entry += QStringLiteral(" <") + QLatin1String(option.valueName) + QLatin1Char('>');
        }
        text += entry.leftJustified(36) + QLatin1Char(' ') + QLatin1String(option.description) +
                QLatin1Char('\n');
    }
    return text;
}

CommandLineResult Parse(const QStringList& arguments, GuiOptions& options, QString* message) {
    QCommandLineParser parser;
    // -platform is one option, not -p -l -a ...
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
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
    for (const QtOption& qt : kQtOptions) {
        QCommandLineOption option(QLatin1String(qt.name), QLatin1String(qt.description));
        if (qt.valueName != nullptr) {
            option.setValueName(QLatin1String(qt.valueName));
        }
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    const auto fail = [&](const QString& text) {
        if (message != nullptr) {
            *message = text + QLatin1Char('\n') + parser.helpText();
        }
        return CommandLineResult::kExitFailure;
    };
    if (!parser.parse(arguments)) {
        return fail(parser.errorText());
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        if (message != nullptr) {
            *message = parser.helpText();
            if (parser.isSet(QStringLiteral("help-all"))) {
                *message += QtOptionsHelp();
            }
        }
        return CommandLineResult::kExitSuccess;
    }
    if (parser.isSet(version)) {
        if (message != nullptr) {
            *message = QStringLiteral("tarvu " TARVU_VERSION "\n" TARVU_COPYRIGHT_LINE
                                      "\n" TARVU_LICENSE_LINE "\n");
        }
        return CommandLineResult::kExitSuccess;
    }
    if (!parser.positionalArguments().isEmpty()) {
        return fail(QStringLiteral("Unexpected argument: ") + parser.positionalArguments().first());
    }
    if (parser.isSet(settings)) {
        options.settingsFile = parser.value(settings);
        if (options.settingsFile.isEmpty()) {
            if (message != nullptr) {
                *message = QStringLiteral("--settings needs a file name\n");
            }
            return CommandLineResult::kExitFailure;
        }
    }
    options.debug = parser.isSet(debug);
    options.logFile = parser.value(log);
    options.pcapFile = parser.value(pcap);
    return CommandLineResult::kRun;
}

}  // namespace

CommandLineResult ParseGuiCommandLine(const QStringList& arguments, GuiOptions& options,
                                      QString& message) {
    return Parse(arguments, options, &message);
}

CommandLineResult CheckGuiCommandLine(const QStringList& arguments) {
    GuiOptions options;
    return Parse(arguments, options, nullptr);
}

}  // namespace tarvu
