#include "app/gui/tray_icon.h"

#include "app/gui/about_dialog.h"
#include "app/gui/app_icon.h"
#include "app/gui/caption_animation.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>

namespace tarvu {
namespace {

constexpr int kReleasePollMs = 15;

}  // namespace

QString TrayTip() {
    return QStringLiteral("Tarvu(Дважды клик мышой дабы показать!)");
}

TrayIcon::TrayIcon(QWidget* window) : QObject(window), window_(window) {
    icon_.setIcon(AppIcon());
    icon_.setToolTip(TrayTip());
    // Some notification areas never report a double-click; the menu keeps the window in reach.
    QAction* restore = menu_.addAction(QStringLiteral("Восстановить"));
    restore->setObjectName(QStringLiteral("trayRestore"));
    connect(restore, &QAction::triggered, this, [this] { controller_.RestoreNow(); });
    menu_.addSeparator();
    QAction* about = menu_.addAction(AboutMenuText());
    about->setObjectName(QStringLiteral("trayAbout"));
    connect(about, &QAction::triggered, this, &TrayIcon::aboutRequested);
    icon_.setContextMenu(&menu_);
    connect(&icon_, &QSystemTrayIcon::activated, this, &TrayIcon::OnActivated);

    releaseWatch_.setInterval(kReleasePollMs);
    connect(&releaseWatch_, &QTimer::timeout, this, [this] {
        if (!(QGuiApplication::mouseButtons() & Qt::LeftButton)) {
            releaseWatch_.stop();
            controller_.ButtonUp();
        }
    });
}

void TrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::DoubleClick:
            controller_.DoubleClick();
            WatchRelease();
            break;
        case QSystemTrayIcon::Trigger:
            controller_.ButtonUp();
            break;
        default:
            break;
    }
}

void TrayIcon::WatchRelease() {
    if (controller_.RestorePending()) {
        releaseWatch_.start();
    }
}

bool TrayIcon::TrayAvailable() const {
    return availableOverride_.value_or(QSystemTrayIcon::isSystemTrayAvailable());
}

QRect TrayIcon::IconRect() const {
    const QRect geometry = icon_.geometry();
    if (!geometry.isEmpty()) {
        return geometry;
    }
    QScreen* screen = window_->screen() ? window_->screen() : QGuiApplication::primaryScreen();
    return screen ? TrayFallbackRect(screen->availableGeometry()) : QRect();
}

void TrayIcon::HideWindow() {
    const QRect from = window_->frameGeometry();
    window_->hide();
    // Shown again later, the window comes back in its normal state.
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    RunCaptionAnimation(from, IconRect(), [] {});
}

void TrayIcon::ShowWindow() {
    QPointer<QWidget> window(window_);
    RunCaptionAnimation(IconRect(), window_->frameGeometry(), [window] {
        if (!window) {
            return;
        }
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        window->show();
        window->raise();
        window->activateWindow();
    });
}

void TrayIcon::AddIcon() {
    icon_.show();
}

void TrayIcon::RemoveIcon() {
    icon_.hide();
}

}  // namespace tarvu
