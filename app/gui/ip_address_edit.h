#pragma once
// The destination field (control 2045), behaving like the Windows IP-address control: four
// octet fields; a dot, or a third digit, moves on to the next field; a value above 255 becomes
// 255; backspace or the left arrow at the start of a field moves back. Blank fields read as 0,
// so a blank control reads 0.0.0.0. The control is one tab stop.

#include <QFrame>
#include <QLineEdit>

#include <array>
#include <cstdint>

namespace tarvu {

class OctetEdit : public QLineEdit {
    Q_OBJECT

public:
    explicit OctetEdit(QWidget* parent = nullptr);

signals:
    // Focus should go to the next field with its text selected (dot or third digit), or with
    // the cursor at its start (right arrow).
    void nextRequested(bool selectAll);
    // Focus should go to the end of the previous field.
    void previousRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};

class IpAddressEdit : public QFrame {
    Q_OBJECT

public:
    static constexpr int kFields = 4;

    explicit IpAddressEdit(QWidget* parent = nullptr);

    // First octet first; blank fields read as 0.
    std::array<uint8_t, 4> Address() const;
    bool IsBlank() const;
    void SetAddress(const std::array<uint8_t, 4>& octets);
    void Clear();

    OctetEdit* Field(int index) const { return fields_[static_cast<std::size_t>(index)]; }

signals:
    // Any change of any field, by the user or by SetAddress/Clear.
    void addressChanged();

private:
    void FocusField(int index, bool selectAll, bool cursorAtEnd);

    std::array<OctetEdit*, kFields> fields_{};
    bool settingAll_ = false;
};

}  // namespace tarvu
