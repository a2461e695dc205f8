#include "platform/console.h"

#include "platform/win32/system_text.h"

#include <windows.h>
// after the header above, which it builds on
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <string>
#include <vector>

namespace tarvu {
namespace {

// The console's code pages as they were before the program changed them; 0 while unchanged.
UINT gOutputCodePage = 0;
UINT gInputCodePage = 0;

// The console outlives the program: the shell and whatever runs next in it get back the code
// pages they had (a batch file's output, a program that prints in the OEM code page).
void RestoreCodePages() {
    if (gOutputCodePage != 0) {
        ::SetConsoleOutputCP(gOutputCodePage);
    }
    if (gInputCodePage != 0) {
        ::SetConsoleCP(gInputCodePage);
    }
}

}  // namespace

void PrepareConsole(int& argc, char**& argv) {
    // Without a console (output redirected, started detached) both report 0: nothing to do.
    gOutputCodePage = ::GetConsoleOutputCP();
    gInputCodePage = ::GetConsoleCP();
    if (gOutputCodePage != 0 || gInputCodePage != 0) {
        std::atexit(RestoreCodePages);
    }
    ::SetConsoleOutputCP(CP_UTF8);
    ::SetConsoleCP(CP_UTF8);
    // Lines end in "\n" as on Linux, so trace output and files written from it are the same
    // bytes on both systems; consoles show a bare line feed as a line end.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    // main() gets its arguments in the ANSI code page, which cannot hold every character;
    // the UTF-16 command line can.
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr) {
        return;
    }
    static std::vector<std::string> words;
    static std::vector<char*> pointers;
    words.clear();
    for (int i = 0; i < count; ++i) {
        words.push_back(Utf8(wide[i]));
    }
    ::LocalFree(wide);
    pointers.clear();
    for (std::string& word : words) {
        pointers.push_back(word.data());
    }
    pointers.push_back(nullptr);
    argc = count;
    argv = pointers.data();
}

}  // namespace tarvu
