#pragma once
// Text from the command line shown back in error messages: control bytes are written as
// \xNN escapes so that they cannot move the cursor, recolour or clear the user's terminal,
// while UTF-8 text (Cyrillic included) stays readable.

#include <string>
#include <string_view>

// MinGW's GCC reads plain "printf" as the Microsoft runtime's dialect, which lacks %zu; the
// C++ runtime there formats with the C99 dialect (gnu_printf).
#if defined(__MINGW32__)
#define TARVU_PRINTF_DIALECT gnu_printf
#else
#define TARVU_PRINTF_DIALECT printf
#endif

namespace tarvu::cli {

// C0 controls, DEL, C1 controls, bytes that are not valid UTF-8 and the bidirectional
// formatting characters (which reorder what the terminal shows) come out escaped: a byte as
// \xNN (upper-case digits), a character as \uNNNN. Everything else is kept as it stands;
// with `keepLineEnds` so is the line feed, for text of several lines.
std::string EscapeControls(std::string_view text, bool keepLineEnds = false);

// printf-style: formats one message, escapes it as above and writes it to standard error
// followed by a line end.
void PrintErrorLine(const char* format, ...) __attribute__((format(TARVU_PRINTF_DIALECT, 1, 2)));

}  // namespace tarvu::cli
