#include "transport/libnet_provider.h"

#include "link/engine.h"
#include "link/main_window.h"
#include "platform/message_box.h"
#include "transport/channel_table.h"

namespace tarvu {
namespace {

const char kAlreadyOpenText[] = "Такой ИП уже был открыт!!!";
const char kAlreadyOpenCaption[] = "Внимание!";
const char kOpenFailedText[] = "Проблема с инициализаце(порт занят?)";
const char kOpenFailedCaption[] = "cnsLibnetProvider::cnsLibnetProvider";

// The read port as the user typed it (field 1046), -1 when the front end offers no window.
int ReadPortFromWindow() {
    const EngineConfig* config = ActiveEngineConfig();
    if (config == nullptr || config->callbacks.GetMainWindow == nullptr) {
        return -1;
    }
    const MainWindow* window = config->callbacks.GetMainWindow();
    return window != nullptr ? PortFieldValue(window->ReadPortText()) : -1;
}

}  // namespace

cnsLibnetProvider::cnsLibnetProvider(const ChannelRequest& request, const ChannelRecord& record) {
    if (request.kind == kChannelKindSerial) {
        serialBaudRate_ = record.remotePort;  // the same field carries a serial line's rate
        serialDeviceName_.assign(record.serialDevice.data());
    } else if (AlreadyOpen(record)) {
        ReportAlreadyOpen();
        failed_ = true;
        return;
    }
    link_ = std::make_unique<LinkChannel>(request, *this);
    if (request.kind != kChannelKindSerial) {
        link_->SetRemote(record.remoteAddress, record.remotePort);
    }
    OpenDriver();
}

void cnsLibnetProvider::ReportAlreadyOpen() {
    ShowMessageBox(kAlreadyOpenCaption, kAlreadyOpenText);
}

cnsLibnetProvider::~cnsLibnetProvider() {
    Stop();
}

bool cnsLibnetProvider::AlreadyOpen(const ChannelRecord& record) const {
    bool found = false;
    ForEachOpenChannel([&](cnsLibnetProvider& other) {
        found = found || (other.link_->RemoteAddress() == record.remoteAddress &&
                          other.link_->RemotePort() == record.remotePort);
    });
    return found;
}

void cnsLibnetProvider::OpenDriver() {
    driver_ = std::make_unique<cnsIoDriver>();
    const int readPort = ReadPortFromWindow();
    // A value that is no port at all (negative, above 65535) cannot be bound; it is not cut
    // down to some other port. A serial line binds nothing and does not depend on the field.
    const bool portValid = readPort >= 0 && readPort <= 0xFFFF;
    const bool usable = serialBaudRate_ != 0 || portValid;
    nsOpenParams params;
    params.bindPort = portValid ? static_cast<uint16_t>(readPort) : 0;
    params.serialName = serialDeviceName_.c_str();
    params.serialBaudRate = serialBaudRate_;

    // Live and running before the first receive is posted, so that the worker takes the
    // completion of a datagram arriving at once and posts the next receive. The datagram
    // itself is lost, though: the channel enters the table only after this constructor, and
    // the worker delivers to the lowest channel in the table, so while the table is empty (as
    // when the read port changed and the channel is being reopened) it has nowhere to go.
    RegisterLiveChannel(this);
    running_ = 1;
    receiving_ = 1;
    if (!usable || driver_->Open(&params, this) == nullptr) {
        running_ = 0;
        receiving_ = 0;
        ShowMessageBox(kOpenFailedCaption, kOpenFailedText);
        failed_ = true;
    }
}

void cnsLibnetProvider::Stop() {
    running_ = 0;
    receiving_ = 0;
    stepTimer_.SetRelative(0);
    if (driver_) {
        driver_->Shutdown(this);
    }
    // Workers of other drivers may still run code of this channel; the driver goes only
    // once none of them holds the channel any more.
    UnregisterLiveChannel(this);
    driver_.reset();
}

void cnsLibnetProvider::SetRunning(uint32_t value) {
    running_ = value;
    receiving_ = value;
}

int cnsLibnetProvider::Send(const nsAddress& destination, const uint8_t* data, size_t n) {
    if (!driver_) {
        return -2;
    }
    if (n > kSendAreaSize) {
        return -1;
    }
    const nsSendBuffer buffer{static_cast<uint32_t>(n), data};
    return driver_->Send(&destination, &buffer, 1, 0, 0);
}

void cnsLibnetProvider::PostTimerSend() {
    if (!driver_) {
        return;
    }
    running_ = 1;
    receiving_ = 1;
    pendingSteps_.fetch_add(1);
    driver_->PostKind(nsT_TIMER_SEND);
}

void cnsLibnetProvider::SleepOnStepTimer(uint32_t milliseconds) {
    stepTimer_.SetRelative(milliseconds);
    // Closing clears the flag before it sets the timer to 0. Checking after setting means that
    // either this sees the flag cleared, or the close's due time 0 comes after ours and ends
    // the wait; a close that lands between check and set can no longer be overwritten.
    if (!IsRunning()) {
        return;
    }
    stepTimer_.Wait();
}

}  // namespace tarvu
