#pragma once
// Dialog units, converted to pixels with the dialog font's metrics the way Windows does:
// horizontally x * baseX / 4, vertically y * baseY / 8, each rounded, where baseX is half the
// average width of "A".."Z" "a".."z" (rounded up) and baseY the font's line height.

#include <QFont>
#include <QRect>
#include <QSize>

namespace tarvu {

class DialogUnits {
public:
    DialogUnits(int baseX, int baseY) : baseX_(baseX), baseY_(baseY) {}
    static DialogUnits FromFont(const QFont& font);

    int X(int units) const;
    int Y(int units) const;
    // Edges convert separately, as MapDialogRect does, so neighbours stay flush.
    QRect ToPixels(const QRect& units) const;
    QSize ToPixels(const QSize& units) const;

    int BaseX() const { return baseX_; }
    int BaseY() const { return baseY_; }

private:
    int baseX_;
    int baseY_;
};

// "MS Sans Serif" 8 pt, or the closest sans-serif font installed.
QFont DialogFont();

}  // namespace tarvu
