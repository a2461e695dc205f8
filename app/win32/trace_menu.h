#pragma once
// The trace field's context menu, built in this one place: the field's standard edit items,
// then "Сохранить протокол…" and "Сохранить захват (pcap)…", which save the whole session
// kept since the start or the last "Clear trace",
// then the check item "Расшифровка пакетов" (kept in the settings file) and "Показатели
// сеанса...", a window of the session figures that the label's tip shows too.

#include "app/win32/figures_window.h"

#include <functional>
#include <string>
#include <vector>
#include <windows.h>

namespace tarvu {
class MainWindow;
class SessionStore;
class SessionTracker;
class Settings;
}  // namespace tarvu

namespace tarvu::win32 {

class MainDialog;

struct MenuEntry {
    std::wstring text;  // empty for a separator
    UINT command = 0;
    bool enabled = true;
    bool checked = false;
};

class TraceMenu {
public:
    // Asks for the file to save to (UTF-8); empty cancels. The default shows the system's
    // save dialog.
    using FileChooser = std::function<std::string(const std::wstring& title, bool capture)>;

    // All of them outlive this object. Reads the stored decode switch into `session`.
    TraceMenu(MainDialog& dialog, HINSTANCE instance, SessionStore& store, SessionTracker& session,
              const Settings& settings);

    void SetFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }

    // The menu's entries as they stand now, in their order.
    std::vector<MenuEntry> Entries() const;
    // Shows the menu at `where` (screen coordinates) and carries out the choice.
    void Show(POINT where);
    // Carries out one of the menu's commands.
    void Run(UINT command);

    // What the save items do once a file is chosen. False, and a message box shown, when the
    // file could not be written.
    bool SaveLog(const std::string& path);
    bool SaveCapture(const std::string& path);
    void SetDecode(bool on);
    void ShowFigures();
    FiguresWindow& Figures() { return figures_; }
    // The figures as the window and the tip show them ("\r\n" line ends).
    std::wstring FiguresText() const;

    enum Command : UINT {
        kUndo = 1,
        kCut,
        kCopy,
        kPaste,
        kDelete,
        kSelectAll,
        kSaveLog,
        kSaveCapture,
        kDecode,
        kFigures,
    };

    static std::wstring SaveLogText();
    static std::wstring SaveCaptureText();

private:
    HWND Field() const;
    std::string ChooseFile(const std::wstring& title, bool capture) const;

    MainDialog& dialog_;
    SessionStore& store_;
    SessionTracker& session_;
    const Settings& settings_;
    FiguresWindow figures_;
    FileChooser chooser_;
};

}  // namespace tarvu::win32
