#pragma once
// The console of a command-line program: UTF-8 text both ways.

namespace tarvu {

// Makes the console show the UTF-8 text the program prints (the Russian messages) and, where
// the system hands arguments over in another encoding, replaces `argv` by UTF-8 copies that
// live as long as the process. Call it first thing in main(). The console's own settings
// (its code pages on Windows) are put back when the program exits.
void PrepareConsole(int& argc, char**& argv);

}  // namespace tarvu
