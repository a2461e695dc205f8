// The Win32 dialog under a datagram flood, run under Wine (or Windows): a sender thread paced
// at a fixed rate to the dialog's read port on loopback, while a 10 ms timer on the
// user-interface thread records the gaps between its ticks (a gap much above 10 ms is the
// message loop stalling) and the working set is sampled every second. The dialog is the real
// one with the real application logic, engine and UDP channel, started through ClientApp as
// tarvu.exe starts it. With --startup PROGRAM it instead starts that tarvu.exe RUNS times and
// times each from process creation to its visible, answering dialog.
//
//   tarvu_bench_win32_dialog [--rate N] [--seconds S] [--size BYTES] [--check]
//   tarvu_bench_win32_dialog --startup PROGRAM [--runs RUNS] [--check]
//
// --check makes the exit status 1 when a goal is missed: a stall over 100 ms, memory growing
// by more than 4 MiB once the session store is full, a start-up over 1 s.

#include "app/settings.h"
#include "app/settings_keys.h"
#include "app/win32/client_app.h"
#include "platform/plain_udp_socket.h"
#include "platform/process_stats.h"

#include <windows.h>
// after the header above, which it builds on
#include <algorithm>
#include <atomic>
#include <chrono>
#include <commctrl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr UINT kTickMs = 10;
constexpr double kStallGoalMs = 100;
constexpr double kStartupGoalMs = 1000;
constexpr double kMemoryGrowthGoalMiB = 4.0;

struct Options {
    int rate = 10000;
    int seconds = 15;
    int size = 16;
    bool check = false;
    std::string startupProgram;
    int runs = 10;
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
        } else if (arg == "--startup" && hasValue) {
            options.startupProgram = argv[++i];
        } else if (arg == "--runs" && hasValue) {
            options.runs = std::atoi(argv[++i]);
        } else if (arg == "--check") {
            options.check = true;
        } else {
            std::fprintf(stderr, "unknown option %s\n", arg.c_str());
            return false;
        }
    }
    return options.rate > 0 && options.seconds > 0 && options.size >= 4 && options.size <= 500 &&
           options.runs > 0;
}

double Percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) {
        return 0;
    }
    return sorted[static_cast<size_t>(p * static_cast<double>(sorted.size() - 1))];
}

double MiB(uint64_t bytes) {
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

uint32_t Loopback() {
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

// Start-up of a separate tarvu.exe: process creation to a visible dialog that answers.
int MeasureStartup(const Options& options) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("tarvu-startup-" + std::to_string(::GetCurrentProcessId()));
    std::filesystem::create_directories(folder);
    const std::filesystem::path program = folder / "tarvu.exe";
    std::filesystem::copy_file(options.startupProgram, program,
                               std::filesystem::copy_options::overwrite_existing);
    std::vector<double> times;
    for (int run = 0; run < options.runs; ++run) {
        std::wstring commandLine = L"\"" + program.wstring() + L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        const Clock::time_point started = Clock::now();
        if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              folder.c_str(), &startup, &info)) {
            std::fprintf(stderr, "cannot start %s\n", options.startupProgram.c_str());
            return 1;
        }
        struct Search {
            DWORD process;
            HWND found;
        } search{info.dwProcessId, nullptr};
        while (search.found == nullptr && Clock::now() - started < std::chrono::seconds(30)) {
            ::EnumWindows(
                [](HWND window, LPARAM data) -> BOOL {
                    auto* s = reinterpret_cast<Search*>(data);
                    DWORD owner = 0;
                    ::GetWindowThreadProcessId(window, &owner);
                    if (owner == s->process && ::IsWindowVisible(window)) {
                        DWORD_PTR ignored = 0;
                        if (::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, 1000,
                                                  &ignored) != 0) {
                            s->found = window;
                            return FALSE;
                        }
                    }
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&search));
            if (search.found == nullptr) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
        if (search.found != nullptr) {
            times.push_back(ms);
            ::PostMessageW(search.found, WM_CLOSE, 0, 0);
        }
        if (::WaitForSingleObject(info.hProcess, 10000) != WAIT_OBJECT_0) {
            ::TerminateProcess(info.hProcess, 1);
        }
        ::CloseHandle(info.hThread);
        ::CloseHandle(info.hProcess);
        if (search.found != nullptr) {
            std::printf("run %d: %.0f ms\n", run + 1, ms);
        } else {
            std::printf("run %d: no dialog\n", run + 1);
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    std::sort(times.begin(), times.end());
    std::printf(
        "start-up to a visible dialog, %zu runs: min %.0f ms, median %.0f ms, max %.0f ms\n",
        times.size(), times.empty() ? 0.0 : times.front(), Percentile(times, 0.5),
        times.empty() ? 0.0 : times.back());
    const bool met = static_cast<int>(times.size()) == options.runs && !times.empty() &&
                     times.back() <= kStartupGoalMs;
    std::printf("goal: start-up <= %.0f ms: %s\n", kStartupGoalMs, met ? "met" : "MISSED");
    return options.check && !met ? 1 : 0;
}

// Processor time of the calling thread, user and kernel.
double ThreadCpuMs() {
    FILETIME created;
    FILETIME exited;
    FILETIME kernel;
    FILETIME user;
    if (!::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user)) {
        return 0;
    }
    auto value = [](const FILETIME& time) {
        return static_cast<double>((static_cast<uint64_t>(time.dwHighDateTime) << 32) |
                                   time.dwLowDateTime);
    };
    return (value(kernel) + value(user)) / 10000.0;  // 100 ns units
}

// Gaps between the ticks of a 10 ms thread timer.
std::vector<double>* gGaps = nullptr;
Clock::time_point gLastTick;

void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD) {
    const Clock::time_point now = Clock::now();
    if (gGaps != nullptr) {
        gGaps->push_back(std::chrono::duration<double, std::milli>(now - gLastTick).count());
    }
    gLastTick = now;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: %s [--rate N] [--seconds S] [--size 4..500] [--check]\n"
                     "       %s --startup TARVU_EXE [--runs N] [--check]\n",
                     argv[0], argv[0]);
        return 2;
    }
    if (!options.startupProgram.empty()) {
        return MeasureStartup(options);
    }

    INITCOMMONCONTROLSEX controls = {
        sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES | ICC_INTERNET_CLASSES};
    ::InitCommonControlsEx(&controls);
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("tarvu-flood-" + std::to_string(::GetCurrentProcessId()));
    std::filesystem::create_directories(folder);
    tarvu::Settings settings(folder / "settings.ini");
    const uint16_t readPort = FreeUdpPort();
    settings.Write(tarvu::kSectionUdp, tarvu::kKeyReadPort, std::to_string(readPort));
    settings.Write(tarvu::kSectionUdp, tarvu::kKeySendPort, std::to_string(FreeUdpPort()));
    settings.Write(tarvu::kSectionUdp, tarvu::kKeyIpAddress, "127.0.0.1");

    uint64_t sent = 0;
    std::vector<double> idleGaps;
    std::vector<double> floodGaps;
    std::vector<uint64_t> memory;
    size_t fullSample = 0;
    uint64_t received = 0;
    uint64_t lines = 0;
    uint64_t fieldUpdates = 0;
    double fieldBusyMs = 0;
    double uiCpuMs = 0;
    {
        tarvu::win32::ClientApp client(::GetModuleHandleW(nullptr), settings, "tarvu");
        if (!client.Valid()) {
            std::fprintf(stderr, "the dialog could not be made\n");
            return 1;
        }
        client.Start();
        if (!client.Logic().ChannelOpen()) {
            std::fprintf(stderr, "the dialog's channel did not open on port %u\n", readPort);
            return 1;
        }
        ::SetTimer(nullptr, 0, kTickMs, OnTick);
        auto run = [&client](Clock::duration length, const std::function<void()>& everySecond) {
            const Clock::time_point end = Clock::now() + length;
            Clock::time_point nextSample = Clock::now() + std::chrono::seconds(1);
            while (Clock::now() < end && client.PumpMessages()) {
                ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
                if (Clock::now() >= nextSample) {
                    nextSample += std::chrono::seconds(1);
                    everySecond();
                }
            }
        };
        gLastTick = Clock::now();
        gGaps = &idleGaps;
        run(std::chrono::seconds(2), [] {});

        const uint64_t receivedBefore = client.Logic().ReceivedDatagrams();
        const uint64_t linesBefore = client.Dialog().Trace().LinesTaken();
        std::atomic<bool> done{false};
        std::thread sender([&] {
            tarvu::PlainUdpSocket socket;
            std::string error;
            if (socket.Bind(0, error)) {
                std::vector<uint8_t> datagram(static_cast<size_t>(options.size), 0x55);
                const uint64_t total = static_cast<uint64_t>(options.rate) * options.seconds;
                const Clock::time_point start = Clock::now();
                for (uint64_t slice = 0; sent < total; ++slice) {
                    std::this_thread::sleep_until(start + std::chrono::milliseconds(slice));
                    const uint64_t due = std::min(total, (slice + 1) * options.rate / 1000);
                    for (; sent < due; ++sent) {
                        std::memcpy(datagram.data(), &sent, 4);
                        socket.SendTo({Loopback(), readPort}, datagram.data(), datagram.size());
                    }
                }
            }
            done.store(true);
        });
        gGaps = &floodGaps;
        const double cpuBefore = ThreadCpuMs();
        memory.push_back(tarvu::ResidentSetBytes());
        run(std::chrono::seconds(options.seconds + 1), [&] {
            memory.push_back(tarvu::ResidentSetBytes());
            if (fullSample == 0 &&
                client.Store().Size() >= tarvu::SessionStore::kDefaultMaxEvents) {
                fullSample = memory.size() - 1;
            }
        });
        sender.join();
        gGaps = nullptr;
        uiCpuMs = ThreadCpuMs() - cpuBefore;
        // The last lines into the field (a loaded machine may take a while).
        const Clock::time_point drainEnd = Clock::now() + std::chrono::seconds(3);
        while (Clock::now() < drainEnd && client.Dialog().Trace().LinesTaken() - linesBefore <
                                              client.Logic().ReceivedDatagrams() - receivedBefore) {
            run(std::chrono::milliseconds(50), [] {});
        }
        received = client.Logic().ReceivedDatagrams() - receivedBefore;
        lines = client.Dialog().Trace().LinesTaken() - linesBefore;
        fieldUpdates = client.Dialog().Trace().UpdateCount();
        fieldBusyMs = static_cast<double>(client.Dialog().Trace().BusyMicroseconds()) / 1000.0;
    }
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);

    std::sort(idleGaps.begin(), idleGaps.end());
    std::sort(floodGaps.begin(), floodGaps.end());
    std::printf("flood: %d datagrams/s of %d bytes for %d s\n", options.rate, options.size,
                options.seconds);
    std::printf("idle dialog   tick gap median %.2f ms, p99 %.2f ms, max %.2f ms\n",
                Percentile(idleGaps, 0.5), Percentile(idleGaps, 0.99),
                idleGaps.empty() ? 0.0 : idleGaps.back());
    std::printf("under flood   tick gap median %.2f ms, p99 %.2f ms, max %.2f ms\n",
                Percentile(floodGaps, 0.5), Percentile(floodGaps, 0.99),
                floodGaps.empty() ? 0.0 : floodGaps.back());
    std::printf("working set MiB:");
    for (uint64_t bytes : memory) {
        std::printf(" %.1f", MiB(bytes));
    }
    std::printf(
        "\nsent %llu, received %llu, trace lines taken %llu, field updates %llu taking "
        "%.0f ms\n",
        static_cast<unsigned long long>(sent), static_cast<unsigned long long>(received),
        static_cast<unsigned long long>(lines), static_cast<unsigned long long>(fieldUpdates),
        fieldBusyMs);
    std::printf("processor time of the dialog's thread under the flood: %.0f ms\n", uiCpuMs);
    const double maxGap = floodGaps.empty() ? 0.0 : floodGaps.back();
    const double growth = fullSample != 0 && memory.size() > fullSample
                              ? MiB(memory.back()) - MiB(memory[fullSample])
                              : 0.0;
    const bool met = maxGap <= kStallGoalMs && growth <= kMemoryGrowthGoalMiB &&
                     lines == received && fullSample != 0;
    std::printf(
        "goals: stall <= %.0f ms, growth after the session store filled (sample %zu) <= "
        "%.0f MiB (%.1f MiB), every received datagram traced: %s\n",
        kStallGoalMs, fullSample, kMemoryGrowthGoalMiB, growth, met ? "met" : "MISSED");
    return options.check && !met ? 1 : 0;
}
