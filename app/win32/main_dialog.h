#pragma once
// The main dialog as a native Win32 window: dialog 102 from the resources behind DialogView.
// The four controls the engine reads are published to a ControlState on every change, typed
// or set; the dialog's commands go to the hooks the application logic connects. It also
// holds the trace field, the system menu with the About box, the accelerator table, the icon
// in the notification area, the trace field's context menu and the label's figures tip.
//
// Everything runs on the thread that created the dialog, except AppendTraceLine,
// SetStatusText and Post, which other threads may call: they only post to the window.

#include "app/control_state.h"
#include "app/dialog_view.h"
#include "app/one_shot_timer.h"
#include "app/win32/trace_field.h"
#include "app/win32/tray.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <windows.h>

namespace tarvu::win32 {

// What the application logic does on the dialog's commands. Unset hooks do nothing; the
// dialog ends by itself after OK, the close box, Escape and the end of the Windows session.
struct DialogHooks {
    std::function<void()> send;  // "Send!" (1041)
    std::function<void()> ok;    // OK (1) or Enter
    // The close box, Alt+F4 and the system menu's Close; falls back to `ok` when unset.
    std::function<void()> close;
    std::function<void()> escape;  // Escape
    // Windows ends the session (WM_ENDSESSION); falls back to `close`, then `ok`.
    std::function<void()> endSession;
    // Every change of the read-port text (1046), typed or set, once the ControlState holds it.
    std::function<void()> readPortChanged;
    std::function<void()> readPortFocusLost;
    // "Clear trace" (1044), after the field was emptied.
    std::function<void()> traceCleared;
    // The trace field's context menu was asked for at this screen point.
    std::function<void(POINT)> traceMenu;
    // Text of the tip over the label "Протокол <-->:"; no tip when unset.
    std::function<std::wstring()> traceLabelTip;
    // Datagrams sent and received so far, for the icon's traffic display.
    std::function<void(uint64_t& sent, uint64_t& received)> traffic;
};

class MainDialog : public DialogView {
public:
    // Messages and timers of the dialog's window.
    static constexpr UINT kTraceMessage = WM_APP + 1;
    static constexpr UINT kTaskMessage = WM_APP + 2;
    static constexpr UINT_PTR kTraceTimer = 1;
    static constexpr UINT_PTR kReadPortTimer = 2;
    static constexpr UINT_PTR kTrafficTimer = 3;
    static constexpr UINT_PTR kFiguresTimer = 4;
    static constexpr UINT kTrafficIntervalMs = 200;

    // Creates the window from dialog 102, hidden (Valid() tells whether that worked).
    explicit MainDialog(HINSTANCE instance);
    // Destroys the window if it is still there.
    ~MainDialog() override;
    MainDialog(const MainDialog&) = delete;
    MainDialog& operator=(const MainDialog&) = delete;

    bool Valid() const { return window_ != nullptr; }
    HWND Handle() const { return window_; }
    HACCEL Accelerators() const { return accelerators_; }
    HICON Icon() const { return icon_; }
    void SetHooks(DialogHooks hooks) { hooks_ = std::move(hooks); }

    // Shows the dialog and brings it to the front.
    void Show();
    // Runs `task` on the dialog's thread; from any thread. Dropped once the window is gone.
    void Post(std::function<void()> task);
    // Ends the dialog as its close box does (also while it hides in the notification area).
    void Close();
    // The About box (dialog 100), modal.
    void ShowAbout();

    TraceField& Trace() { return trace_; }
    Tray* TrayIcon() { return tray_.get(); }
    // The read-port field's timer for the application logic.
    OneShotTimer& ReadPortTimer() { return readPortTimer_; }
    // Calls `tick` on the dialog's thread every `interval` until StopTimer.
    void StartTimer(UINT_PTR id, std::chrono::milliseconds interval, std::function<void()> tick);
    void StopTimer(UINT_PTR id);

    // DialogView. Everything but AppendTraceLine and SetStatusText runs on the dialog's thread.
    std::string PacketText() const override;
    void SetPacketText(const std::string& text) override;
    std::array<uint8_t, 4> IpAddress() const override;
    void SetIpAddress(const std::array<uint8_t, 4>& octets) override;
    std::string ReadPortText() const override;
    void SetReadPortText(const std::string& text) override;
    std::string SendPortText() const override;
    void SetSendPortText(const std::string& text) override;
    bool SubstitutionChecked() const override;
    void SetSubstitutionChecked(bool checked) override;
    ControlState& Controls() override { return controls_; }
    void ClearAddressList() override;
    void AddAddressLine(const std::string& line) override;
    void SetStatusText(int which, const std::string& text) override;
    void AppendTraceLine(const std::string& line) override;
    void ResetHiddenControls() override;

private:
    class DialogTimer : public OneShotTimer {
    public:
        DialogTimer(MainDialog& dialog, UINT_PTR id) : dialog_(dialog), id_(id) {}
        void Start(std::chrono::milliseconds delay, std::function<void()> fire) override;
        void Stop() override;

    private:
        MainDialog& dialog_;
        UINT_PTR id_;
    };

    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK TraceFieldProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam,
                                           UINT_PTR id, DWORD_PTR self);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog(HWND window);
    void OnCommand(int id, int code);
    bool OnSysCommand(WPARAM command);
    void OnNotify(const NMHDR& header);
    void OnTimer(UINT_PTR id);
    void OnMinimised();
    void PaintIconic();
    void RunTasks();
    void End(const std::function<void()>& steps);
    void SetResult(LRESULT result) const;
    HWND Item(int id) const { return ::GetDlgItem(window_, id); }
    std::string ItemText(int id) const;
    void SetItemText(int id, const std::string& text);
    void PublishAddress();
    void ShowStatusText(int which, const std::wstring& text);

    HINSTANCE instance_;
    HWND window_ = nullptr;
    std::atomic<HWND> postTarget_{nullptr};
    DWORD thread_ = 0;
    HACCEL accelerators_ = nullptr;
    HICON icon_ = nullptr;
    HICON smallIcon_ = nullptr;
    HFONT traceFont_ = nullptr;
    HFONT controlFont_ = nullptr;
    HWND tip_ = nullptr;
    std::wstring tipText_;
    UINT taskbarCreated_ = 0;
    bool ending_ = false;

    ControlState controls_;
    DialogHooks hooks_;
    TraceField trace_;
    std::unique_ptr<Tray> tray_;
    DialogTimer readPortTimer_{*this, kReadPortTimer};
    std::map<UINT_PTR, std::function<void()>> timers_;

    std::mutex tasksMutex_;
    std::deque<std::function<void()>> tasks_;  // guarded by tasksMutex_
};

// The application's title: the executable's base name ("tarvu" for tarvu.exe).
std::string ApplicationTitle();

}  // namespace tarvu::win32
