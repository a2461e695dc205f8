#include "app/win32/main_dialog.h"

#include "app/win32/about_box.h"
#include "app/win32/resource_ids.h"
#include "platform/win32/system_text.h"

#include <commctrl.h>
#include <cwchar>
#include <filesystem>
#include <utility>
#include <vector>
#include <windowsx.h>

namespace tarvu::win32 {
namespace {

// The hidden combo box's items; sorted, so the empty one comes first.
constexpr const wchar_t* kComboItems[] = {L"АВТО! (С протоколом КОНВЕРТОРА/КЕБ)", L""};

// Where the label of the trace field stands, in dialog units (left, top, right, bottom).
constexpr RECT kTraceLabelUnits = {7, 100, 7 + 53, 100 + 10};

constexpr UINT_PTR kTraceSubclassId = 1;
constexpr UINT_PTR kTipToolId = 1;

HICON LoadIconSized(HINSTANCE instance, int id, int sizeMetric) {
    const int size = ::GetSystemMetrics(sizeMetric);
    return static_cast<HICON>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_SHARED));
}

}  // namespace

std::string ApplicationTitle() {
    std::vector<wchar_t> path(32768);
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size()) {
        return "tarvu";
    }
    const std::wstring stem = std::filesystem::path(std::wstring(path.data(), length)).stem();
    return stem.empty() ? std::string("tarvu") : Utf8(stem.c_str());
}

MainDialog::MainDialog(HINSTANCE instance) : instance_(instance) {
    accelerators_ = ::LoadAcceleratorsW(instance_, MAKEINTRESOURCEW(IDR_ACCELERATOR));
    icon_ = LoadIconSized(instance_, IDR_MAINFRAME, SM_CXICON);
    smallIcon_ = LoadIconSized(instance_, IDR_MAINFRAME, SM_CXSMICON);
    ::CreateDialogParamW(instance_, MAKEINTRESOURCEW(IDD_TARVU_DIALOG), nullptr, DialogProc,
                         reinterpret_cast<LPARAM>(this));
}

MainDialog::~MainDialog() {
    if (window_ != nullptr) {
        ending_ = true;
        ::DestroyWindow(window_);
    }
    for (HFONT font : {traceFont_, controlFont_}) {
        if (font != nullptr) {
            ::DeleteObject(font);
        }
    }
}

INT_PTR CALLBACK MainDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<MainDialog*>(lParam);
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->OnInitDialog(window);
        return TRUE;  // the dialog manager puts the focus on the first control
    }
    auto* self = reinterpret_cast<MainDialog*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) {
        return FALSE;
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(window, DWLP_USER, 0);
        self->window_ = nullptr;
        return FALSE;
    }
    return self->HandleMessage(message, wParam, lParam);
}

void MainDialog::OnInitDialog(HWND window) {
    window_ = window;
    thread_ = ::GetCurrentThreadId();

    // The dialog manager makes the template's font in the system's default character set,
    // which on a desktop with another code page has no Cyrillic letters: the controls take
    // the same font in the Cyrillic character set. Sizes in dialog units stay as they were.
    LOGFONTW dialogFont = {};
    auto templateFont = reinterpret_cast<HFONT>(::SendMessageW(window_, WM_GETFONT, 0, 0));
    if (templateFont != nullptr &&
        ::GetObjectW(templateFont, sizeof dialogFont, &dialogFont) != 0 &&
        dialogFont.lfCharSet != RUSSIAN_CHARSET) {
        dialogFont.lfCharSet = RUSSIAN_CHARSET;
        controlFont_ = ::CreateFontIndirectW(&dialogFont);
    }
    if (controlFont_ != nullptr) {
        for (HWND child = ::GetWindow(window_, GW_CHILD); child != nullptr;
             child = ::GetWindow(child, GW_HWNDNEXT)) {
            ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(controlFont_), FALSE);
        }
    }

    // The trace font: the field's font as Courier New, Cyrillic character set, 12 units high.
    HWND trace = Item(IDC_TRACE);
    LOGFONTW font = {};
    auto current = reinterpret_cast<HFONT>(::SendMessageW(trace, WM_GETFONT, 0, 0));
    if (current == nullptr || ::GetObjectW(current, sizeof font, &font) == 0) {
        ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    }
    font.lfCharSet = RUSSIAN_CHARSET;
    font.lfHeight = -12;
    std::wcsncpy(font.lfFaceName, L"Courier New", LF_FACESIZE - 1);
    // Where Courier New is missing (Wine), another fixed-pitch font keeps the columns.
    font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    traceFont_ = ::CreateFontIndirectW(&font);
    if (traceFont_ != nullptr) {
        ::SendMessageW(trace, WM_SETFONT, reinterpret_cast<WPARAM>(traceFont_), TRUE);
    }
    trace_.Attach(window_, trace, kTraceMessage, kTraceTimer);
    ::SetWindowSubclass(trace, TraceFieldProc, kTraceSubclassId, reinterpret_cast<DWORD_PTR>(this));

    for (const wchar_t* item : kComboItems) {
        ::SendDlgItemMessageW(window_, IDC_HIDDEN_COMBO, CB_ADDSTRING, 0,
                              reinterpret_cast<LPARAM>(item));
    }
    ::SendDlgItemMessageW(window_, IDC_DESTINATION, IPM_CLEARADDRESS, 0, 0);

    // System menu: a separator and "&About Tarvu..." (string 101) as item 16.
    if (HMENU system = ::GetSystemMenu(window_, FALSE)) {
        wchar_t about[256] = {};
        if (::LoadStringW(instance_, IDS_ABOUTBOX, about, 256) > 0) {
            ::AppendMenuW(system, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuW(system, MF_STRING, IDM_ABOUTBOX, about);
        }
    }
    ::SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    ::SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));

    TrayIcons icons;
    icons.normal = LoadIconSized(instance_, IDR_MAINFRAME, SM_CXSMICON);
    icons.sent = LoadIconSized(instance_, IDI_TRAY_SENT, SM_CXSMICON);
    icons.received = LoadIconSized(instance_, IDI_TRAY_RECEIVED, SM_CXSMICON);
    tray_ = std::make_unique<Tray>(window_, icons, [this] { ShowAbout(); });
    taskbarCreated_ = ::RegisterWindowMessageW(L"TaskbarCreated");

    // The session figures as the tip of the label "Протокол <-->:".
    tip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                             WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, instance_, nullptr);
    if (tip_ != nullptr) {
        TTTOOLINFOW tool = {};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.uFlags = TTF_SUBCLASS;
        tool.hwnd = window_;
        tool.uId = kTipToolId;
        tool.rect = kTraceLabelUnits;
        ::MapDialogRect(window_, &tool.rect);
        tool.lpszText = LPSTR_TEXTCALLBACKW;
        ::SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        ::SendMessageW(tip_, TTM_SETMAXTIPWIDTH, 0, 800);  // lines break only at line ends
    }

    postTarget_.store(window_);
    controls_.SetIpAddress(IpAddress());
    controls_.SetSendPortText(SendPortText());
    controls_.SetReadPortText(ReadPortText());
    controls_.SetSubstitutionChecked(SubstitutionChecked());
}

void MainDialog::SetResult(LRESULT result) const {
    ::SetWindowLongPtrW(window_, DWLP_MSGRESULT, result);
}

INT_PTR MainDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_NOTIFY:
            OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
            return FALSE;
        case WM_SYSCOMMAND:
            if (OnSysCommand(wParam)) {
                SetResult(0);
                return TRUE;
            }
            return FALSE;
        case WM_CLOSE:
            End(hooks_.close ? hooks_.close : hooks_.ok);
            return TRUE;
        case WM_QUERYENDSESSION:
            SetResult(TRUE);
            return TRUE;
        case WM_ENDSESSION:
            // The process may be ended as soon as this returns: the settings are saved now.
            if (wParam != FALSE) {
                End(hooks_.endSession ? hooks_.endSession
                                      : (hooks_.close ? hooks_.close : hooks_.ok));
            }
            SetResult(0);
            return TRUE;
        case kTrayCallbackMessage:
            // Also DM_GETDEFID, which the dialog manager sends with no mouse message.
            if (tray_ && tray_->OnIconMessage(lParam)) {
                SetResult(0);
                return TRUE;
            }
            return FALSE;
        case kTraceMessage:
            trace_.OnPosted();
            return TRUE;
        case kTaskMessage:
            RunTasks();
            return TRUE;
        case WM_TIMER:
            OnTimer(wParam);
            return TRUE;
        case WM_SIZE:
            if (wParam == SIZE_MINIMIZED) {
                // Minimised without the minimise command (a program, the taskbar): hidden too,
                // once the minimising has run its course.
                Post([this] { OnMinimised(); });
            }
            return FALSE;
        case WM_PAINT:
            if (::IsIconic(window_)) {
                PaintIconic();
                return TRUE;
            }
            return FALSE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(icon_);
        case WM_CTLCOLORSTATIC:
            // The read-only trace field reads as text on a page, not as a grey surface.
            if (reinterpret_cast<HWND>(lParam) == Item(IDC_TRACE)) {
                HDC dc = reinterpret_cast<HDC>(wParam);
                ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
                ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
                return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_WINDOW));
            }
            return FALSE;
        case WM_DESTROY:
            postTarget_.store(nullptr);
            for (const auto& [id, tick] : timers_) {
                ::KillTimer(window_, id);
            }
            timers_.clear();
            trace_.Detach();
            tray_.reset();  // the icon goes with the window
            ::PostQuitMessage(0);
            return FALSE;
        default:
            if (message == taskbarCreated_ && taskbarCreated_ != 0 && tray_) {
                tray_->OnTaskbarCreated();
            }
            return FALSE;
    }
}

void MainDialog::OnCommand(int id, int code) {
    switch (id) {
        case IDOK:
            End(hooks_.ok);
            break;
        case IDCANCEL:
            End(hooks_.escape);
            break;
        case IDC_SEND:
            if (code == BN_CLICKED && hooks_.send) {
                hooks_.send();
            }
            break;
        case IDC_CLEAR_TRACE:
            if (code == BN_CLICKED) {
                trace_.Clear();
                if (hooks_.traceCleared) {
                    hooks_.traceCleared();
                }
            }
            break;
        case IDC_SUBSTITUTION:
            if (code == BN_CLICKED) {
                controls_.SetSubstitutionChecked(SubstitutionChecked());
            }
            break;
        case IDC_READ_PORT:
            if (code == EN_CHANGE) {
                // Published first: reopening the channel reads the port from the ControlState.
                controls_.SetReadPortText(ReadPortText());
                if (hooks_.readPortChanged) {
                    hooks_.readPortChanged();
                }
            } else if (code == EN_KILLFOCUS) {
                // Not inside the focus change: the hook may show a modal box.
                Post([this] {
                    if (hooks_.readPortFocusLost) {
                        hooks_.readPortFocusLost();
                    }
                });
            }
            break;
        case IDC_SEND_PORT:
            if (code == EN_CHANGE) {
                controls_.SetSendPortText(SendPortText());
            }
            break;
        case IDC_DESTINATION:
            if (code == EN_CHANGE) {
                PublishAddress();
            }
            break;
        default:
            // Command 32772 of the accelerator table (Shift+F6) has no handler.
            break;
    }
}

bool MainDialog::OnSysCommand(WPARAM command) {
    switch (command & 0xFFF0) {
        case SC_MINIMIZE:
            if (!tray_) {
                return false;
            }
            {
                uint64_t sent = 0;
                uint64_t received = 0;
                if (hooks_.traffic) {
                    hooks_.traffic(sent, received);
                }
                tray_->ShowTraffic(sent, received);  // counts from here on
            }
            if (!tray_->Controller().Minimise()) {
                return false;  // no notification area: minimised as usual
            }
            StartTimer(kTrafficTimer, std::chrono::milliseconds(kTrafficIntervalMs), [this] {
                if (!tray_ || !tray_->IconPresent()) {
                    StopTimer(kTrafficTimer);
                    return;
                }
                uint64_t sent = 0;
                uint64_t received = 0;
                if (hooks_.traffic) {
                    hooks_.traffic(sent, received);
                }
                tray_->ShowTraffic(sent, received);
            });
            return true;
        case IDM_ABOUTBOX:
            ShowAbout();
            return true;
        default:
            return false;
    }
}

void MainDialog::OnMinimised() {
    if (window_ != nullptr && ::IsIconic(window_) && ::IsWindowVisible(window_)) {
        OnSysCommand(SC_MINIMIZE);
    }
}

void MainDialog::OnNotify(const NMHDR& header) {
    if (header.idFrom == IDC_DESTINATION && header.code == IPN_FIELDCHANGED) {
        PublishAddress();
    } else if (header.hwndFrom == tip_ && header.code == TTN_GETDISPINFOW) {
        auto& info = const_cast<NMTTDISPINFOW&>(reinterpret_cast<const NMTTDISPINFOW&>(header));
        tipText_ = hooks_.traceLabelTip ? hooks_.traceLabelTip() : std::wstring();
        info.lpszText = tipText_.data();
    }
}

void MainDialog::OnTimer(UINT_PTR id) {
    if (id == kTraceTimer) {
        trace_.OnTimer();
        return;
    }
    const auto found = timers_.find(id);
    if (found == timers_.end()) {
        ::KillTimer(window_, id);
        return;
    }
    // A copy: the tick may stop its own timer.
    const std::function<void()> tick = found->second;
    tick();
}

void MainDialog::StartTimer(UINT_PTR id, std::chrono::milliseconds interval,
                            std::function<void()> tick) {
    if (window_ == nullptr) {
        return;
    }
    timers_[id] = std::move(tick);
    ::SetTimer(window_, id, static_cast<UINT>(interval.count()), nullptr);
}

void MainDialog::StopTimer(UINT_PTR id) {
    if (timers_.erase(id) > 0 && window_ != nullptr) {
        ::KillTimer(window_, id);
    }
}

void MainDialog::DialogTimer::Start(std::chrono::milliseconds delay, std::function<void()> fire) {
    dialog_.StartTimer(id_, delay, [this, fire = std::move(fire)] {
        dialog_.StopTimer(id_);
        fire();
    });
}

void MainDialog::DialogTimer::Stop() {
    dialog_.StopTimer(id_);
}

void MainDialog::PaintIconic() {
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(window_, &paint);
    ::SendMessageW(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    ::GetClientRect(window_, &client);
    const int x = (client.right - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, icon_);
    ::EndPaint(window_, &paint);
}

LRESULT CALLBACK MainDialog::TraceFieldProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam,
                                            UINT_PTR id, DWORD_PTR self) {
    auto* dialog = reinterpret_cast<MainDialog*>(self);
    switch (message) {
        case WM_CONTEXTMENU: {
            if (!dialog->hooks_.traceMenu) {
                break;
            }
            POINT where = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            if (lParam == -1) {
                // From the keyboard: at the field's top-left corner.
                RECT rect;
                ::GetWindowRect(edit, &rect);
                where = {rect.left + 8, rect.top + 8};
            }
            dialog->hooks_.traceMenu(where);
            return 0;
        }
        case WM_NCDESTROY:
            ::RemoveWindowSubclass(edit, TraceFieldProc, id);
            break;
        default:
            break;
    }
    return ::DefSubclassProc(edit, message, wParam, lParam);
}

void MainDialog::End(const std::function<void()>& steps) {
    // A box the steps show runs a message loop: a second request to end waits for none.
    if (ending_ || window_ == nullptr) {
        return;
    }
    ending_ = true;
    if (steps) {
        steps();
    }
    if (window_ != nullptr) {
        ::DestroyWindow(window_);
    }
}

void MainDialog::Close() {
    if (window_ != nullptr) {
        ::PostMessageW(window_, WM_CLOSE, 0, 0);
    }
}

void MainDialog::Show() {
    if (window_ == nullptr) {
        return;
    }
    ::ShowWindow(window_, SW_SHOW);
    ::SetForegroundWindow(window_);
}

void MainDialog::ShowAbout() {
    ShowAboutBox(instance_, window_);
}

void MainDialog::Post(std::function<void()> task) {
    bool first = false;
    {
        std::lock_guard<std::mutex> lock(tasksMutex_);
        first = tasks_.empty();
        tasks_.push_back(std::move(task));
    }
    if (first) {
        if (HWND target = postTarget_.load()) {
            ::PostMessageW(target, kTaskMessage, 0, 0);
        }
    }
}

void MainDialog::RunTasks() {
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard<std::mutex> lock(tasksMutex_);
        batch.swap(tasks_);
    }
    for (const std::function<void()>& task : batch) {
        if (window_ == nullptr) {
            break;  // a task ended the dialog: the rest have nothing left to act on
        }
        task();
    }
}

std::string MainDialog::ItemText(int id) const {
    HWND item = Item(id);
    const int length = ::GetWindowTextLengthW(item);
    if (length <= 0) {
        return {};
    }
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    ::GetWindowTextW(item, text.data(), length + 1);
    return Utf8(text.c_str());
}

void MainDialog::SetItemText(int id, const std::string& text) {
    ::SetWindowTextW(Item(id), Wide(text).c_str());
}

std::string MainDialog::PacketText() const {
    return ItemText(IDC_PACKET);
}

void MainDialog::SetPacketText(const std::string& text) {
    SetItemText(IDC_PACKET, text);
}

std::array<uint8_t, 4> MainDialog::IpAddress() const {
    HWND control = Item(IDC_DESTINATION);
    if (::SendMessageW(control, IPM_ISBLANK, 0, 0) != 0) {
        return {0, 0, 0, 0};
    }
    DWORD address = 0;
    ::SendMessageW(control, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address));
    return {static_cast<uint8_t>(FIRST_IPADDRESS(address)),
            static_cast<uint8_t>(SECOND_IPADDRESS(address)),
            static_cast<uint8_t>(THIRD_IPADDRESS(address)),
            static_cast<uint8_t>(FOURTH_IPADDRESS(address))};
}

void MainDialog::SetIpAddress(const std::array<uint8_t, 4>& octets) {
    ::SendDlgItemMessageW(window_, IDC_DESTINATION, IPM_SETADDRESS, 0,
                          MAKEIPADDRESS(octets[0], octets[1], octets[2], octets[3]));
    PublishAddress();
}

void MainDialog::PublishAddress() {
    controls_.SetIpAddress(IpAddress());
}

std::string MainDialog::ReadPortText() const {
    return ItemText(IDC_READ_PORT);
}

void MainDialog::SetReadPortText(const std::string& text) {
    // The field's change notification publishes the text and runs the hook.
    SetItemText(IDC_READ_PORT, text);
    controls_.SetReadPortText(ReadPortText());
}

std::string MainDialog::SendPortText() const {
    return ItemText(IDC_SEND_PORT);
}

void MainDialog::SetSendPortText(const std::string& text) {
    SetItemText(IDC_SEND_PORT, text);
    controls_.SetSendPortText(SendPortText());
}

bool MainDialog::SubstitutionChecked() const {
    return ::IsDlgButtonChecked(window_, IDC_SUBSTITUTION) == BST_CHECKED;
}

void MainDialog::SetSubstitutionChecked(bool checked) {
    ::CheckDlgButton(window_, IDC_SUBSTITUTION, checked ? BST_CHECKED : BST_UNCHECKED);
    controls_.SetSubstitutionChecked(checked);
}

void MainDialog::ClearAddressList() {
    ::SendDlgItemMessageW(window_, IDC_ADDRESS_LIST, LB_RESETCONTENT, 0, 0);
}

void MainDialog::AddAddressLine(const std::string& line) {
    ::SendDlgItemMessageW(window_, IDC_ADDRESS_LIST, LB_ADDSTRING, 0,
                          reinterpret_cast<LPARAM>(Wide(line).c_str()));
}

void MainDialog::SetStatusText(int which, const std::string& text) {
    std::wstring wide = Wide(text);
    if (::GetCurrentThreadId() == thread_) {
        ShowStatusText(which, wide);
        return;
    }
    Post([this, which, wide = std::move(wide)] { ShowStatusText(which, wide); });
}

void MainDialog::ShowStatusText(int which, const std::wstring& text) {
    if (which == 0 || which == 1) {
        ::SetWindowTextW(Item(which == 0 ? IDC_STATUS0 : IDC_STATUS1), text.c_str());
    }
}

void MainDialog::AppendTraceLine(const std::string& line) {
    trace_.Post(line);
}

void MainDialog::ResetHiddenControls() {
    ::SendDlgItemMessageW(window_, IDC_HIDDEN_COMBO, CB_SETCURSEL, 0, 0);
    ::SetWindowTextW(Item(IDC_HIDDEN_EDIT), L"0");
}

}  // namespace tarvu::win32
