// The dialog under a datagram flood: start-up to a shown dialog, then a sender thread paced
// at a fixed rate to the dialog's read port on loopback, while a 10 ms timer on the
// user-interface thread records the gaps between its ticks (a gap much above 10 ms is the
// event loop stalling) and the resident memory is sampled every second.
//
// The dialog is the real one with the real application logic, engine and UDP channel,
// started through ClientApp as the program starts it; the platform is offscreen unless
// QT_QPA_PLATFORM says otherwise. A measurement program rather than a Google Benchmark: the
// figures are maxima and percentiles over one run of a running event loop.
//
//   tarvu_bench_gui_responsiveness [--rate N] [--seconds S] [--size BYTES] [--frames]
//                                  [--decode] [--startup-only] [--check]
//
// --frames sends 7E ... 7F frames with the substitution switch ticked (two trace lines per
// datagram); --decode starts with "Расшифровка пакетов" on (a decoded line below every link
// packet); --check makes the exit status 1 when a goal is missed (stall over 100 ms,
// start-up over 500 ms, memory growing by more than 4 MiB once the dialog's session store is
// full). The store grows by design until one of its bounds is reached (after 10 s at 10,000
// datagrams a second of 16 bytes, after about 1 s of 500 bytes): a flood that ends before
// then leaves the memory goal unjudged, and the program says so.

#include "app/gui/client_app.h"
#include "app/gui/decode_controls.h"
#include "app/gui/trace_view.h"
#include "app/settings.h"
#include "app/settings_keys.h"
#include "platform/plain_udp_socket.h"
#include "platform/process_stats.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTickMs = 10;
constexpr int kStallGoalMs = 100;
constexpr int kStartupGoalMs = 500;
constexpr double kMemoryGrowthGoalMiB = 4.0;

struct Options {
    int rate = 10000;
    int seconds = 5;
    int size = 16;
    bool frames = false;
    bool decode = false;
    bool startupOnly = false;
    bool check = false;
};

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--rate" && hasValue) {
            options.rate = std::atoi(argv[++i]);
        } else if (arg == "--seconds" && hasValue) {
            options.seconds = std::atoi(argv[++i]);
        } else if (arg == "--size" && hasValue) {
            options.size = std::atoi(argv[++i]);
        } else if (arg == "--frames") {
            options.frames = true;
        } else if (arg == "--decode") {
            options.decode = true;
        } else if (arg == "--startup-only") {
            options.startupOnly = true;
        } else if (arg == "--check") {
            options.check = true;
        } else if (arg.rfind("-platform", 0) != 0) {
            std::fprintf(stderr, "unknown option %s\n", arg.c_str());
            return false;
        }
    }
    return options.rate > 0 && options.seconds > 0 && options.size >= 4 && options.size <= 500;
}

uint32_t LoopbackAddress() {
    const uint8_t octets[4] = {127, 0, 0, 1};
    uint32_t address = 0;
    std::memcpy(&address, octets, sizeof address);
    return address;
}

uint16_t FreeUdpPort() {
    tarvu::PlainUdpSocket socket;
    std::string error;
    return socket.Bind(0, error) ? socket.LocalPort() : 0;
}

// One datagram: a running number in the first four bytes, filler after it; as a frame, the
// same between 7E and 7F with no byte that would need escaping.
std::vector<uint8_t> Datagram(uint32_t number, const Options& options) {
    std::vector<uint8_t> bytes(static_cast<std::size_t>(options.size), 0x55);
    const std::size_t first = options.frames ? 1 : 0;
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[first + i] = static_cast<uint8_t>((number >> (8 * (3 - i))) & 0x3F);
    }
    if (options.frames) {
        bytes.front() = 0x7E;
        bytes.back() = 0x7F;
    }
    return bytes;
}

// Sends `rate` datagrams a second for `seconds`, in 1 ms slices; a slice that starts late
// catches up, so the average rate holds. Returns the number sent.
uint64_t SendFlood(uint16_t port, const Options& options) {
    tarvu::PlainUdpSocket socket;
    std::string error;
    if (!socket.Bind(0, error)) {
        std::fprintf(stderr, "sender: %s\n", error.c_str());
        return 0;
    }
    const tarvu::UdpPeer to{LoopbackAddress(), port};
    const uint64_t total = static_cast<uint64_t>(options.rate) * options.seconds;
    const Clock::time_point start = Clock::now();
    uint64_t sent = 0;
    for (uint64_t slice = 0; sent < total; ++slice) {
        std::this_thread::sleep_until(start + std::chrono::milliseconds(slice));
        const uint64_t due =
            std::min(total, (slice + 1) * static_cast<uint64_t>(options.rate) / 1000);
        for (; sent < due; ++sent) {
            const std::vector<uint8_t> bytes = Datagram(static_cast<uint32_t>(sent), options);
            socket.SendTo(to, bytes.data(), bytes.size());
        }
    }
    return sent;
}

double MiB(uint64_t bytes) {
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

// Gaps between the ticks of a 10 ms timer on the user-interface thread.
class TickRecorder : public QObject {
public:
    TickRecorder() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(kTickMs);
        connect(&timer_, &QTimer::timeout, this, [this] {
            const qint64 now = clock_.nsecsElapsed();
            gapsMs_.push_back(static_cast<double>(now - last_) / 1e6);
            last_ = now;
        });
    }
    void Start() {
        gapsMs_.clear();
        clock_.start();
        last_ = 0;
        timer_.start();
    }
    void Stop() { timer_.stop(); }
    std::vector<double> Sorted() const {
        std::vector<double> sorted = gapsMs_;
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    std::vector<double> gapsMs_;
};

double Percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) {
        return 0;
    }
    const auto index = static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1));
    return sorted[index];
}

// Event loops of their own: QCoreApplication::quit would also close the dialog, which runs
// its closing steps.
void RunFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Phase {
    std::vector<double> gaps;
    std::vector<uint64_t> residentBytes;  // one sample a second, the first at the start
    // The first sample after the dialog's session store reached a bound (it grows until then
    // by design); 0 while it never did.
    size_t boundSample = 0;
};

// The dialog's whole-session store, whose bound the memory goal waits for.
const tarvu::SessionStore* gStore = nullptr;

// Records tick gaps and memory while `during` runs on its own thread, until it returns.
template <typename Work>
Phase Measure(Work during) {
    Phase phase;
    TickRecorder ticks;
    QTimer sampler;
    sampler.setInterval(1000);
    QObject::connect(&sampler, &QTimer::timeout, [&phase] {
        phase.residentBytes.push_back(tarvu::ResidentSetBytes());
        if (phase.boundSample == 0 && gStore != nullptr && gStore->Dropped() != 0) {
            phase.boundSample = phase.residentBytes.size() - 1;
        }
    });
    phase.residentBytes.push_back(tarvu::ResidentSetBytes());
    ticks.Start();
    sampler.start();
    QEventLoop loop;
    std::thread worker([&during, &loop] {
        during();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    sampler.stop();
    ticks.Stop();
    phase.gaps = ticks.Sorted();
    return phase;
}

void PrintPhase(const char* name, const Phase& phase) {
    std::printf("%-22s ticks %6zu  gap median %6.2f ms  p99 %6.2f ms  max %7.2f ms\n", name,
                phase.gaps.size(), Percentile(phase.gaps, 0.5), Percentile(phase.gaps, 0.99),
                phase.gaps.empty() ? 0.0 : phase.gaps.back());
    std::printf("%-22s resident MiB:", "");
    for (uint64_t bytes : phase.residentBytes) {
        std::printf(" %.1f", MiB(bytes));
    }
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    const Clock::time_point mainEntered = Clock::now();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    qputenv("TARVU_NO_ANIMATION", "1");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: %s [--rate N] [--seconds S] [--size 4..500] [--frames] [--decode] "
                     "[--startup-only] [--check]\n",
                     argv[0]);
        return 2;
    }

    QTemporaryDir directory;
    tarvu::Settings settings(directory.filePath("settings.ini").toStdString());
    const uint16_t readPort = FreeUdpPort();
    settings.Write(tarvu::kSectionUdp, tarvu::kKeyReadPort, std::to_string(readPort));
    settings.Write(tarvu::kSectionUdp, tarvu::kKeySendPort, std::to_string(FreeUdpPort()));
    settings.Write(tarvu::kSectionUdp, tarvu::kKeyIpAddress, "127.0.0.1");
    settings.Write(tarvu::kSectionUdp, tarvu::kKeySubstitution,
                   options.frames ? tarvu::kValueYes : tarvu::kValueNo);
    if (options.decode) {
        settings.Write(tarvu::kSectionTarvu, tarvu::kKeyDecode, tarvu::kValueYes);
    }

    // Start-up: from main (the QApplication included) until the dialog has been painted once.
    tarvu::ClientApp client(settings, "tarvu");
    QEventLoop startup;
    struct PaintWatch : QObject {
        explicit PaintWatch(QEventLoop& eventLoop) : loop(eventLoop) {}
        QEventLoop& loop;
        Clock::time_point shown;
        bool seen = false;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint && !seen) {
                seen = true;
                shown = Clock::now();
                QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
            }
            return false;
        }
    } paintWatch(startup);
    client.Dialog().installEventFilter(&paintWatch);
    client.Start();
    QTimer::singleShot(5000, &startup, &QEventLoop::quit);
    startup.exec();
    client.Dialog().removeEventFilter(&paintWatch);
    const int64_t processAgeMs = tarvu::ProcessAgeMs();
    const double startupMs =
        paintWatch.seen
            ? std::chrono::duration<double, std::milli>(paintWatch.shown - mainEntered).count()
            : -1.0;
    std::printf("start-up: main to first paint %.1f ms; process age at that point %lld ms\n",
                startupMs, static_cast<long long>(processAgeMs));
    bool met = paintWatch.seen && startupMs <= kStartupGoalMs;
    if (options.startupOnly || !client.Logic().ChannelOpen()) {
        if (!client.Logic().ChannelOpen()) {
            std::fprintf(stderr, "the dialog's channel did not open on port %u\n", readPort);
            return 1;
        }
        return options.check && !met ? 1 : 0;
    }

    const Phase idle = Measure([] { std::this_thread::sleep_for(std::chrono::seconds(2)); });
    tarvu::TraceView& trace = client.Dialog().Trace();
    const uint64_t linesBefore = trace.LinesTaken();
    const uint64_t updatesBefore = trace.UpdateCount();
    const uint64_t receivedBefore = client.Logic().ReceivedDatagrams();
    const uint64_t newSendersBefore = client.Logic().Session().Figures().newSenders;
    gStore = &client.Store();
    uint64_t sent = 0;
    const Phase flood = Measure([&] { sent = SendFlood(readPort, options); });
    // Lets the last lines drain into the field before counting them.
    RunFor(300);
    const uint64_t received = client.Logic().ReceivedDatagrams() - receivedBefore;
    const uint64_t lines = trace.LinesTaken() - linesBefore;

    std::printf("flood: %d datagrams/s of %d bytes%s%s for %d s on %s\n", options.rate,
                options.size, options.frames ? " (frames, switch ticked)" : "",
                options.decode ? " (decoded lines)" : "", options.seconds,
                qPrintable(QGuiApplication::platformName()));
    PrintPhase("idle dialog", idle);
    PrintPhase("under flood", flood);
    std::printf("sent %llu, received %llu, trace lines taken %llu, field updates %llu\n",
                static_cast<unsigned long long>(sent), static_cast<unsigned long long>(received),
                static_cast<unsigned long long>(lines),
                static_cast<unsigned long long>(trace.UpdateCount() - updatesBefore));

    const double maxGap = flood.gaps.empty() ? 0.0 : flood.gaps.back();
    // Memory is judged from the first sample with the store full (never before the first
    // second), when a later sample follows.
    const size_t from = std::max<size_t>(1, flood.boundSample);
    const bool memoryJudged = flood.boundSample != 0 && flood.residentBytes.size() > from + 1;
    const double growth =
        memoryJudged ? MiB(flood.residentBytes.back()) - MiB(flood.residentBytes[from]) : 0.0;
    // With decoding on, one decoded line per link packet and one line per new sender.
    const uint64_t linesPerDatagram = (options.frames ? 2 : 1) + (options.decode ? 1 : 0);
    const uint64_t senderLines =
        options.decode ? client.Logic().Session().Figures().newSenders - newSendersBefore : 0;
    met = met && maxGap <= kStallGoalMs && growth <= kMemoryGrowthGoalMiB &&
          lines == received * linesPerDatagram + senderLines;
    if (memoryJudged) {
        std::printf("memory: growth from %zu s (the session store full) to the end %.1f MiB\n",
                    from, growth);
    } else {
        std::printf(
            "memory: not judged, the session store was still filling at the end (%zu blocks, "
            "%.1f MiB kept); a longer flood (--seconds) shows it\n",
            client.Store().Size(), MiB(client.Store().Bytes()));
    }
    std::printf(
        "goals: stall <= %d ms, start-up <= %d ms, memory growth once the store is full <= %.0f "
        "MiB, every received datagram traced: %s\n",
        kStallGoalMs, kStartupGoalMs, kMemoryGrowthGoalMiB, met ? "met" : "MISSED");
    return options.check && !met ? 1 : 0;
}
