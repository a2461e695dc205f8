#include "app/gui/decode_controls.h"

#include "app/gui/dialog_controls.h"
#include "app/gui/main_dialog.h"
#include "app/gui/trace_view.h"
#include "app/settings.h"
#include "app/settings_keys.h"
#include "trace/session_figures.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QVBoxLayout>

namespace tarvu {

DecodeControls::DecodeControls(MainDialog& dialog, SessionTracker& session,
                               const Settings& settings)
    : dialog_(dialog), session_(session), settings_(settings) {
    // Only a stored "да" turns decoding on; nothing is written until the engineer changes it.
    session_.SetDecode(settings_.Read(kSectionTarvu, kKeyDecode) == kValueYes);

    traceLabel_ = dialog_.findChild<QLabel*>(control::LabelName(control::kTrace));
    refresh_.setInterval(kRefreshIntervalMs);
    connect(&refresh_, &QTimer::timeout, this, &DecodeControls::Refresh);
    refresh_.start();
    Refresh();
}

DecodeControls::~DecodeControls() = default;

void DecodeControls::AddItems(QMenu& menu) {
    QAction* decode = menu.addAction(QStringLiteral("Расшифровка пакетов"));
    decode->setObjectName(QStringLiteral("decodeAction"));
    decode->setCheckable(true);
    decode->setChecked(session_.Decode());
    connect(decode, &QAction::toggled, this, &DecodeControls::SetDecode);
    QAction* figures = menu.addAction(QStringLiteral("Показатели сеанса..."));
    figures->setObjectName(QStringLiteral("figuresAction"));
    connect(figures, &QAction::triggered, this, &DecodeControls::ShowFiguresWindow);
}

void DecodeControls::SetDecode(bool on) {
    session_.SetDecode(on);
    settings_.SaveIfChanged(kSectionTarvu, kKeyDecode, on ? kValueYes : kValueNo);
}

void DecodeControls::ShowFiguresWindow() {
    if (!window_) {
        // A window of its own (no parent), so that it never covers the dialog's controls.
        window_ = std::make_unique<QWidget>(nullptr, Qt::Window);
        window_->setObjectName(QStringLiteral("figuresWindow"));
        window_->setWindowTitle(QStringLiteral("Показатели сеанса"));
        auto* layout = new QVBoxLayout(window_.get());
        windowText_ = new QLabel(window_.get());
        windowText_->setTextFormat(Qt::PlainText);
        windowText_->setTextInteractionFlags(Qt::TextSelectableByMouse);
        windowText_->setFont(TraceFont());
        layout->addWidget(windowText_);
    }
    windowText_->setText(shown_);
    window_->show();
    window_->raise();
}

QString DecodeControls::FiguresText() const {
    std::string text = FormatSessionFiguresWithNote(session_.Figures());
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return QString::fromStdString(text);
}

void DecodeControls::Refresh() {
    const QString text = FiguresText();
    if (text == shown_) {
        return;
    }
    shown_ = text;
    if (traceLabel_ != nullptr) {
        traceLabel_->setToolTip(shown_);
    }
    if (windowText_ != nullptr) {
        windowText_->setText(shown_);
    }
}

}  // namespace tarvu
