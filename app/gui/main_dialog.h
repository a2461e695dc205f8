#pragma once
// The main dialog: every control of the client's window, its size and arrangement, the trace
// field, the four controls the engine reads (published to its ControlState on every change),
// the hooks that the application logic connects, the About box and hiding in the notification
// area.

#include "app/control_state.h"
#include "app/dialog_view.h"

#include <QDialog>
#include <QRect>

#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tarvu {

class IpAddressEdit;
class TraceView;
class TrayIcon;

// What the application logic does on the dialog's commands. Unset hooks do nothing; the
// dialog ends by itself after OK, close and Escape.
struct DialogHooks {
    std::function<void()> send;  // "Send!" (1041)
    std::function<void()> ok;    // OK (1) or Enter; the dialog then ends accepted
    // The close box; the dialog then ends accepted. Falls back to `ok` when unset, since
    // closing runs the same steps as OK.
    std::function<void()> close;
    std::function<void()> escape;  // Escape; the dialog then ends rejected
    // Every change of the read-port text (1046), typed or set, once the ControlState holds it.
    std::function<void(const std::string&)> readPortChanged;
    // The read-port field lost the keyboard focus.
    std::function<void()> readPortFocusLost;
};

class MainDialog : public QDialog, public DialogView {
    Q_OBJECT

public:
    explicit MainDialog(QWidget* parent = nullptr);
    ~MainDialog() override;

    void SetHooks(DialogHooks hooks) { hooks_ = std::move(hooks); }
    void ClearIpAddress();
    void ShowAbout();

    TraceView& Trace() { return *trace_; }
    TrayIcon& Tray() { return *tray_; }
    // Client size at which the dialog opens, from its dialog-unit size.
    QSize BaseSize() const { return baseSize_; }

    // DialogView. Everything but AppendTraceLine runs on the user-interface thread.
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
    // Posted to the user-interface thread when called from another one.
    void SetStatusText(int which, const std::string& text) override;
    void AppendTraceLine(const std::string& line) override;
    void ResetHiddenControls() override;

public slots:
    void accept() override;
    void reject() override;

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // How a control follows when the window grows beyond its opening size.
    enum class Anchor { kFixed, kStretch, kBottomRight };
    struct Placement {
        QWidget* widget;
        QRect pixels;
        Anchor anchor;
    };

    void OnMinimised();
    void BuildControls();
    void Place(QWidget* widget, const QRect& units, Anchor anchor = Anchor::kFixed);
    void PublishControls();
    void ShowStatusText(int which, const QString& text);

    ControlState controls_;
    DialogHooks hooks_;
    std::vector<Placement> placements_;
    QSize baseSize_;

    QPushButton* ok_ = nullptr;
    QLineEdit* status0_ = nullptr;
    QListWidget* addressList_ = nullptr;
    QLineEdit* status1_ = nullptr;
    QLineEdit* hiddenEdit_ = nullptr;
    QComboBox* hiddenCombo_ = nullptr;
    QLineEdit* packet_ = nullptr;
    TraceView* trace_ = nullptr;
    IpAddressEdit* destination_ = nullptr;
    QCheckBox* substitution_ = nullptr;
    QLineEdit* readPort_ = nullptr;
    QLineEdit* sendPort_ = nullptr;
    TrayIcon* tray_ = nullptr;
};

}  // namespace tarvu
