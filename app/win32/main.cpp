// tarvu.exe: the client's dialog as a native Win32 program.

#include "app/settings.h"
#include "app/win32/client_app.h"
#include "app/win32/command_line.h"
#include "app/win32/message_boxes.h"
#include "app/win32/user_output.h"
#include "platform/debug_output.h"
#include "platform/message_box.h"
#include "platform/win32/system_text.h"

#include <windows.h>
// after the header above, which it builds on
#include <commctrl.h>
#include <filesystem>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*show*/) {
    tarvu::win32::Options options;
    std::string message;
    switch (
        tarvu::win32::ParseCommandLine(tarvu::win32::CommandLineArguments(), options, message)) {
        case tarvu::win32::CommandLineResult::kExitSuccess:
            tarvu::win32::WriteToUser(message, false);
            return 0;
        case tarvu::win32::CommandLineResult::kExitFailure:
            tarvu::win32::WriteToUser(message, true);
            return 2;
        case tarvu::win32::CommandLineResult::kRun:
            break;
    }
    tarvu::EnableDebugToStderr(options.debug);

    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES | ICC_INTERNET_CLASSES;
    ::InitCommonControlsEx(&controls);

    const std::filesystem::path settingsFile =
        options.settingsFile.empty() ? std::filesystem::path()
                                     : std::filesystem::path(tarvu::Wide(options.settingsFile));
    tarvu::Settings settings = tarvu::Settings::Locate(settingsFile);
    int status = 0;
    {
        tarvu::win32::ClientApp client(instance, settings, tarvu::win32::ApplicationTitle());
        if (!client.Valid()) {
            tarvu::win32::WriteToUser("tarvu: the dialog window could not be made\n", true);
            return 1;
        }
        tarvu::win32::InstallMessageBoxHandler(client.Dialog());
        client.OpenRecordFiles(options.logFile, options.pcapFile);
        client.Start();
        status = client.Run();
        tarvu::SetMessageBoxHandler({});
    }
    return status;
}
