#include "app/gui/caption_animation.h"

#include <QApplication>
#include <QPropertyAnimation>
#include <QRubberBand>

#include <utility>

namespace tarvu {
namespace {

constexpr int kAnimationMs = 200;

}  // namespace

bool AnimationsEnabled() {
    if (qEnvironmentVariableIntValue("TARVU_NO_ANIMATION") == 1) {
        return false;
    }
    return QApplication::isEffectEnabled(Qt::UI_General);
}

void RunCaptionAnimation(const QRect& from, const QRect& to, std::function<void()> done) {
    if (!AnimationsEnabled() || from.isEmpty() || to.isEmpty()) {
        done();
        return;
    }
    // A parentless rubber band is its own frameless top-level window.
    auto* outline = new QRubberBand(QRubberBand::Rectangle);
    outline->setAttribute(Qt::WA_TransparentForMouseEvents);
    outline->setGeometry(from);
    outline->show();
    auto* animation = new QPropertyAnimation(outline, "geometry", outline);
    animation->setDuration(kAnimationMs);
    animation->setStartValue(from);
    animation->setEndValue(to);
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    QObject::connect(animation, &QPropertyAnimation::finished, outline,
                     [outline, done = std::move(done)] {
                         outline->hide();
                         outline->deleteLater();
                         done();
                     });
    animation->start();
}

QRect TrayFallbackRect(const QRect& available) {
    return QRect(available.x() + available.width() - 150, available.y() + available.height() - 30,
                 150, 30);
}

}  // namespace tarvu
