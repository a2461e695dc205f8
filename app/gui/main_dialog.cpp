#include "app/gui/main_dialog.h"

#include "app/gui/about_dialog.h"
#include "app/gui/app_icon.h"
#include "app/gui/dialog_controls.h"
#include "app/gui/dialog_units.h"
#include "app/gui/ip_address_edit.h"
#include "app/gui/trace_view.h"
#include "app/gui/tray_icon.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QThread>

#include <algorithm>

namespace tarvu {
namespace {

QLabel* MakeLabel(const QString& text, const QString& name, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    // "<-->" and the like are text, never markup.
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QLineEdit* MakeEdit(int id, bool centred, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(control::Name(id));
    if (centred) {
        edit->setAlignment(Qt::AlignCenter);
    }
    return edit;
}

QPushButton* MakeButton(int id, const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(control::Name(id));
    return button;
}

void HideAndDisable(QWidget* widget) {
    widget->setEnabled(false);
    widget->setVisible(false);
}

}  // namespace

MainDialog::MainDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("mainDialog"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Tarvu (Клиент для проверки подключения по GPRS)"));
    setWindowIcon(AppIcon());
    setFont(DialogFont());

    BuildControls();

    baseSize_ = DialogUnits::FromFont(font()).ToPixels(QSize(688, 399));
    setMinimumSize(baseSize_);
    resize(baseSize_);

    tray_ = new TrayIcon(this);
    connect(tray_, &TrayIcon::aboutRequested, this, &MainDialog::ShowAbout);

    PublishControls();
}

MainDialog::~MainDialog() = default;

void MainDialog::Place(QWidget* widget, const QRect& units, Anchor anchor) {
    const QRect pixels = DialogUnits::FromFont(font()).ToPixels(units);
    widget->setGeometry(pixels);
    placements_.push_back({widget, pixels, anchor});
}

void MainDialog::BuildControls() {
    // Created in the order of the tab chain; labels and the group box take no focus.
    ok_ = MakeButton(control::kOk, QStringLiteral("OK"), this);
    ok_->setDefault(true);
    Place(ok_, {634, 381, 50, 14}, Anchor::kBottomRight);
    connect(ok_, &QPushButton::clicked, this, &MainDialog::accept);

    status0_ = MakeEdit(control::kStatus0, true, this);
    HideAndDisable(status0_);
    Place(status0_, {487, 382, 94, 13}, Anchor::kBottomRight);

    addressList_ = new QListWidget(this);
    addressList_->setObjectName(control::Name(control::kAddressList));
    addressList_->setSelectionMode(QAbstractItemView::NoSelection);
    addressList_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    addressList_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Place(addressList_, {3, 12, 133, 78});

    Place(MakeLabel(QStringLiteral("Наш IP :"), control::LabelName(control::kAddressList), this),
          {3, 1, 116, 11});
    Place(MakeLabel(QStringLiteral("Протокол <-->:"), control::LabelName(control::kTrace), this),
          {7, 100, 53, 10});

    status1_ = MakeEdit(control::kStatus1, true, this);
    HideAndDisable(status1_);
    Place(status1_, {479, 382, 26, 13}, Anchor::kBottomRight);

    hiddenEdit_ = MakeEdit(control::kHiddenEdit, false, this);
    HideAndDisable(hiddenEdit_);
    Place(hiddenEdit_, {471, 382, 49, 13}, Anchor::kBottomRight);

    hiddenCombo_ = new QComboBox(this);
    hiddenCombo_->setObjectName(control::Name(control::kHiddenCombo));
    hiddenCombo_->setEditable(true);
    hiddenCombo_->setInsertPolicy(QComboBox::InsertAlphabetically);
    hiddenCombo_->addItem(QStringLiteral("АВТО! (С протоколом КОНВЕРТОРА/КЕБ)"));
    hiddenCombo_->addItem(QString());
    // A sorted combo box: the empty item sorts first.
    hiddenCombo_->model()->sort(0);
    HideAndDisable(hiddenCombo_);
    Place(hiddenCombo_, {462, 383, 42, 13}, Anchor::kBottomRight);
    ResetHiddenControls();

    Place(
        MakeLabel(QStringLiteral("Посылаемый пакет:"), control::LabelName(control::kPacket), this),
        {150, 51, 69, 11});

    packet_ = MakeEdit(control::kPacket, false, this);
    Place(packet_, {224, 49, 387, 14});

    QPushButton* send = MakeButton(control::kSend, QStringLiteral("Send!"), this);
    Place(send, {616, 51, 57, 13});
    connect(send, &QPushButton::clicked, this, [this] {
        if (hooks_.send) {
            hooks_.send();
        }
    });

    trace_ = new TraceView(this);
    trace_->setObjectName(control::Name(control::kTrace));
    Place(trace_, {3, 113, 674, 262}, Anchor::kStretch);

    auto* group = new QGroupBox(QStringLiteral("Передача :"), this);
    group->setObjectName(QStringLiteral("groupSend"));
    // The title sits on the frame's top line, as on the desktop this dialog was drawn for,
    // so that the frame leaves room for the fields at their places.
    group->setStyleSheet(QStringLiteral(
        "QGroupBox#groupSend { border: 1px solid palette(mid); border-radius: 2px;"
        " margin-top: 0.6em; }"
        "QGroupBox#groupSend::title { subcontrol-origin: margin; subcontrol-position: top left;"
        " left: 6px; padding: 0 2px; }"));
    Place(group, {143, 15, 534, 54});

    Place(MakeLabel(QStringLiteral("IP адрес назначения :"),
                    control::LabelName(control::kDestination), this),
          {149, 33, 74, 15});

    destination_ = new IpAddressEdit(this);
    destination_->setObjectName(control::Name(control::kDestination));
    Place(destination_, {224, 30, 139, 15});
    connect(destination_, &IpAddressEdit::addressChanged, this,
            [this] { controls_.SetIpAddress(destination_->Address()); });

    QPushButton* clear = MakeButton(control::kClearTrace, QStringLiteral("Clear trace"), this);
    Place(clear, {616, 97, 57, 13});
    connect(clear, &QPushButton::clicked, trace_, &TraceView::ClearTrace);

    substitution_ =
        new QCheckBox(QStringLiteral("Заменять запрещённые символы (7E 7F 7D ...)"), this);
    substitution_->setObjectName(control::Name(control::kSubstitution));
    Place(substitution_, {145, 74, 174, 15});
    connect(substitution_, &QCheckBox::toggled, this,
            [this](bool checked) { controls_.SetSubstitutionChecked(checked); });

    readPort_ = MakeEdit(control::kReadPort, true, this);
    readPort_->installEventFilter(this);
    Place(readPort_, {425, 72, 30, 15});
    connect(readPort_, &QLineEdit::textChanged, this, [this](const QString& text) {
        // Published first: reopening the channel reads the port from the ControlState.
        const std::string port = text.toStdString();
        controls_.SetReadPortText(port);
        if (hooks_.readPortChanged) {
            hooks_.readPortChanged(port);
        }
    });

    sendPort_ = MakeEdit(control::kSendPort, true, this);
    Place(sendPort_, {425, 30, 30, 15});
    connect(sendPort_, &QLineEdit::textChanged, this,
            [this](const QString& text) { controls_.SetSendPortText(text.toStdString()); });

    Place(
        MakeLabel(QStringLiteral("Порт передачи :"), control::LabelName(control::kSendPort), this),
        {368, 33, 54, 10});
    Place(MakeLabel(QStringLiteral("Порт чтения :"), control::LabelName(control::kReadPort), this),
          {377, 75, 48, 11});

    QPushButton* setPort = MakeButton(control::kSetPort, QStringLiteral("Выставить порт"), this);
    HideAndDisable(setPort);
    setPort->setAutoDefault(false);
    Place(setPort, {394, 381, 57, 13}, Anchor::kBottomRight);

    Place(MakeLabel(QStringLiteral("(...пакеты посылаются с этого порта)"),
                    QStringLiteral("note1046"), this),
          {457, 75, 131, 11});

    // The group box frames controls created before it; it must not take their clicks.
    group->lower();
}

void MainDialog::PublishControls() {
    controls_.SetIpAddress(destination_->Address());
    controls_.SetSendPortText(sendPort_->text().toStdString());
    controls_.SetReadPortText(readPort_->text().toStdString());
    controls_.SetSubstitutionChecked(substitution_->isChecked());
}

bool MainDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == readPort_ && event->type() == QEvent::FocusOut && hooks_.readPortFocusLost) {
        // Queued: the hook may show a modal box, which must not run inside the focus change.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (hooks_.readPortFocusLost) {
                    hooks_.readPortFocusLost();
                }
            },
            Qt::QueuedConnection);
    }
    return QDialog::eventFilter(watched, event);
}

void MainDialog::ResetHiddenControls() {
    hiddenCombo_->setCurrentIndex(0);
    hiddenEdit_->setText(QStringLiteral("0"));
}

void MainDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    const int grownX = std::max(0, width() - baseSize_.width());
    const int grownY = std::max(0, height() - baseSize_.height());
    for (const Placement& placement : placements_) {
        QRect rect = placement.pixels;
        switch (placement.anchor) {
            case Anchor::kFixed:
                break;
            case Anchor::kStretch:
                rect.setSize(rect.size() + QSize(grownX, grownY));
                break;
            case Anchor::kBottomRight:
                rect.translate(grownX, grownY);
                break;
        }
        placement.widget->setGeometry(rect);
    }
}

void MainDialog::accept() {
    if (hooks_.ok) {
        hooks_.ok();
    }
    QDialog::accept();
}

void MainDialog::reject() {
    if (hooks_.escape) {
        hooks_.escape();
    }
    QDialog::reject();
}

void MainDialog::closeEvent(QCloseEvent* event) {
    const std::function<void()>& hook = hooks_.close ? hooks_.close : hooks_.ok;
    if (hook) {
        hook();
    }
    done(QDialog::Accepted);
    event->accept();
}

void MainDialog::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    // Minimising from any source (title bar, taskbar, window menu, a program) ends here.
    // Handled once the event has run its course: the platform may still echo the state
    // change, and the window is hidden only if it is still minimised by then.
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized)) {
        QMetaObject::invokeMethod(this, &MainDialog::OnMinimised, Qt::QueuedConnection);
    }
}

void MainDialog::OnMinimised() {
    if (isVisible() && (windowState() & Qt::WindowMinimized)) {
        tray_->Controller().Minimise();
    }
}

void MainDialog::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(AboutMenuText(), this, &MainDialog::ShowAbout);
    menu.exec(event->globalPos());
}

void MainDialog::ShowAbout() {
    AboutDialog about(this);
    about.exec();
}

std::string MainDialog::PacketText() const {
    return packet_->text().toStdString();
}

void MainDialog::SetPacketText(const std::string& text) {
    packet_->setText(QString::fromStdString(text));
}

std::array<uint8_t, 4> MainDialog::IpAddress() const {
    return destination_->Address();
}

void MainDialog::SetIpAddress(const std::array<uint8_t, 4>& octets) {
    destination_->SetAddress(octets);
}

void MainDialog::ClearIpAddress() {
    destination_->Clear();
}

std::string MainDialog::ReadPortText() const {
    return readPort_->text().toStdString();
}

void MainDialog::SetReadPortText(const std::string& text) {
    readPort_->setText(QString::fromStdString(text));
}

std::string MainDialog::SendPortText() const {
    return sendPort_->text().toStdString();
}

void MainDialog::SetSendPortText(const std::string& text) {
    sendPort_->setText(QString::fromStdString(text));
}

bool MainDialog::SubstitutionChecked() const {
    return substitution_->isChecked();
}

void MainDialog::SetSubstitutionChecked(bool checked) {
    substitution_->setChecked(checked);
}

void MainDialog::ClearAddressList() {
    addressList_->clear();
}

void MainDialog::AddAddressLine(const std::string& line) {
    addressList_->addItem(QString::fromStdString(line));
}

void MainDialog::SetStatusText(int which, const std::string& text) {
    const QString qText = QString::fromStdString(text);
    if (QThread::currentThread() == thread()) {
        ShowStatusText(which, qText);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, which, qText] { ShowStatusText(which, qText); }, Qt::QueuedConnection);
}

void MainDialog::ShowStatusText(int which, const QString& text) {
    if (which == 0) {
        status0_->setText(text);
    } else if (which == 1) {
        status1_->setText(text);
    }
}

void MainDialog::AppendTraceLine(const std::string& line) {
    trace_->Post(line);
}

}  // namespace tarvu
