#pragma once
// Decoding and session figures in the dialog, without moving any of its controls: the trace
// field's context menu (TraceMenu) gets the check item "Расшифровка пакетов" (kept in the settings
// file's own section, written only when the engineer changes it) and "Показатели сеанса...", a
// small window of the figures; the trace label's tooltip shows the same figures. Figures are
// refreshed a few times a second, only while something changed.

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <string_view>

class QAction;
class QLabel;
class QMenu;

namespace tarvu {

class MainDialog;
class Settings;
class SessionTracker;

// Section and key of the switch; "да" or "нет".
inline constexpr std::string_view kSectionTarvu = "TARVU";
inline constexpr std::string_view kKeyDecode = "РАСШИФРОВКА";

class DecodeControls : public QObject {
    Q_OBJECT

public:
    static constexpr int kRefreshIntervalMs = 250;

    // Reads the stored switch into `session`. All three outlive this object.
    DecodeControls(MainDialog& dialog, SessionTracker& session, const Settings& settings);
    ~DecodeControls() override;

    // Adds "Расшифровка пакетов" and "Показатели сеанса..." to the trace field's menu.
    void AddItems(QMenu& menu);
    // The switch as the menu item sets it: on or off, and stored.
    void SetDecode(bool on);
    void ShowFiguresWindow();

    // The figures as shown (tooltip and window).
    QString FiguresText() const;
    // Brings the tooltip and the window up to date now.
    void Refresh();
    QWidget* FiguresWindow() const { return window_.get(); }

private:
    MainDialog& dialog_;
    SessionTracker& session_;
    const Settings& settings_;
    QLabel* traceLabel_ = nullptr;
    QTimer refresh_;
    QString shown_;
    std::unique_ptr<QWidget> window_;
    QLabel* windowText_ = nullptr;
};

}  // namespace tarvu
