#pragma once
// The notification-area icon of the dialog: carries out what TrayController decides (hiding,
// showing, adding and removing the icon, with the caption animation) and turns Qt's
// activation reasons into the controller's events.

#include "app/gui/tray_controller.h"

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

#include <optional>

namespace tarvu {

// Tip of the icon.
QString TrayTip();

class TrayIcon : public QObject, public TrayHost {
    Q_OBJECT

public:
    explicit TrayIcon(QWidget* window);

    TrayController& Controller() { return controller_; }
    const QSystemTrayIcon& Icon() const { return icon_; }
    QMenu& Menu() { return menu_; }
    // Overrides what the platform reports about the notification area (tests, and desktops
    // that misreport it).
    void SetAvailableOverride(std::optional<bool> available) { availableOverride_ = available; }

    // A click reaches us as Trigger (Qt reports it on press), a double-click as DoubleClick;
    // the release after a double-click is not reported, so it is watched for.
    void OnActivated(QSystemTrayIcon::ActivationReason reason);

    bool TrayAvailable() const override;
    void HideWindow() override;
    void ShowWindow() override;
    void AddIcon() override;
    void RemoveIcon() override;

signals:
    void aboutRequested();

private:
    QRect IconRect() const;
    void WatchRelease();

    QWidget* window_;
    QSystemTrayIcon icon_;
    QMenu menu_;
    QTimer releaseWatch_;
    TrayController controller_{*this};
    std::optional<bool> availableOverride_;
};

}  // namespace tarvu
