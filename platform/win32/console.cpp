#include "platform/console.h"

#include "platform/win32/system_text.h"

#include <windows.h>
// after the header above, which it builds on
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <string>
#include <vector>

namespace tarvu {

void PrepareConsole(int& argc, char**& argv) {
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
