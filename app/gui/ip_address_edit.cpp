#include "app/gui/ip_address_edit.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QRegularExpressionValidator>

namespace tarvu {
namespace {

constexpr int kMaxDigits = 3;

bool IsDigitText(const QString& text) {
    return text.size() == 1 && text[0].isDigit();
}

}  // namespace

OctetEdit::OctetEdit(QWidget* parent) : QLineEdit(parent) {
    setFrame(false);
    setAlignment(Qt::AlignCenter);
    setMaxLength(kMaxDigits);
    setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), this));
    // Any value above 255 the user produces, however, is turned into 255.
    connect(this, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (!text.isEmpty() && text.toInt() > 255) {
            setText(QStringLiteral("255"));
        }
    });
}

void OctetEdit::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    const bool noSelection = !hasSelectedText();
    if (text == QLatin1String(".") || text == QLatin1String(" ")) {
        if (!this->text().isEmpty()) {
            emit nextRequested(true);
        }
        event->accept();
        return;
    }
    switch (event->key()) {
        case Qt::Key_Backspace:
        case Qt::Key_Left:
            if (cursorPosition() == 0 && noSelection) {
                emit previousRequested();
                event->accept();
                return;
            }
            break;
        case Qt::Key_Right:
            if (cursorPosition() == this->text().size() && noSelection) {
                emit nextRequested(false);
                event->accept();
                return;
            }
            break;
        default:
            break;
    }
    QLineEdit::keyPressEvent(event);
    if (IsDigitText(text) && this->text().size() == kMaxDigits && cursorPosition() == kMaxDigits) {
        emit nextRequested(true);
    }
}

void OctetEdit::focusOutEvent(QFocusEvent* event) {
    // "007" reads and shows as 7, as the Windows control does once the field is left.
    if (!text().isEmpty()) {
        const QString normal = QString::number(text().toInt());
        if (normal != text()) {
            setText(normal);
        }
    }
    QLineEdit::focusOutEvent(event);
}

IpAddressEdit::IpAddressEdit(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 1, 2, 1);
    layout->setSpacing(0);
    for (int i = 0; i < kFields; ++i) {
        if (i > 0) {
            auto* dot = new QLabel(QStringLiteral("."), this);
            dot->setAlignment(Qt::AlignCenter);
            layout->addWidget(dot);
        }
        auto* field = new OctetEdit(this);
        // Tab enters the control at its first field and leaves it from any field.
        field->setFocusPolicy(i == 0 ? Qt::StrongFocus : Qt::ClickFocus);
        layout->addWidget(field, 1);
        fields_[static_cast<std::size_t>(i)] = field;
        connect(field, &QLineEdit::textChanged, this, [this] {
            if (!settingAll_) {
                emit addressChanged();
            }
        });
        connect(field, &OctetEdit::nextRequested, this,
                [this, i](bool selectAll) { FocusField(i + 1, selectAll, false); });
        connect(field, &OctetEdit::previousRequested, this,
                [this, i] { FocusField(i - 1, false, true); });
    }
    setFocusProxy(fields_[0]);
    setFocusPolicy(Qt::StrongFocus);
}

void IpAddressEdit::FocusField(int index, bool selectAll, bool cursorAtEnd) {
    if (index < 0 || index >= kFields) {
        return;
    }
    OctetEdit* field = Field(index);
    field->setFocus(Qt::OtherFocusReason);
    if (selectAll) {
        field->selectAll();
    } else if (cursorAtEnd) {
        field->deselect();
        field->end(false);
    } else {
        field->deselect();
        field->home(false);
    }
}

std::array<uint8_t, 4> IpAddressEdit::Address() const {
    std::array<uint8_t, 4> octets{};
    for (std::size_t i = 0; i < octets.size(); ++i) {
        const int value = fields_[i]->text().toInt();
        octets[i] = static_cast<uint8_t>(value > 255 ? 255 : value);
    }
    return octets;
}

bool IpAddressEdit::IsBlank() const {
    for (const OctetEdit* field : fields_) {
        if (!field->text().isEmpty()) {
            return false;
        }
    }
    return true;
}

void IpAddressEdit::SetAddress(const std::array<uint8_t, 4>& octets) {
    // One notification for the whole address: nobody may see a mix of old and new octets.
    settingAll_ = true;
    for (std::size_t i = 0; i < octets.size(); ++i) {
        fields_[i]->setText(QString::number(octets[i]));
    }
    settingAll_ = false;
    emit addressChanged();
}

void IpAddressEdit::Clear() {
    settingAll_ = true;
    for (OctetEdit* field : fields_) {
        field->clear();
    }
    settingAll_ = false;
    emit addressChanged();
}

}  // namespace tarvu
