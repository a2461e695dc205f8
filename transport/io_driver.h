#pragma once
// The I/O driver of one channel: its UDP socket or serial line on the process's completion
// port, its operation records and the worker threads it starts.

#include "link/ns_address.h"
#include "platform/serial_port.h"
#include "platform/udp_socket.h"
#include "transport/ns_overlapped.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace tarvu {

class cnsLibnetProvider;

// What cnsIoDriver::Open is asked to do.
struct nsOpenParams {
    uint16_t bindPort = 0;        // host order; 0: the socket stays unbound
    uint32_t minThreadCount = 0;  // lower bound for the driver's thread count
    uint32_t broadcastValue = 0;  // SO_BROADCAST value when strictly between 0 and 10000
    const char* serialName = nullptr;
    uint32_t serialBaudRate = 0;  // not 0: a serial driver
};

// One buffer of a send.
struct nsSendBuffer {
    uint32_t length = 0;
    const uint8_t* data = nullptr;
};

// Send flag: set = SendNow (blocking), clear = SendOverlapped.
constexpr uint32_t kSendFlagNow = 0x2;

class cnsIoDriver {
public:
    cnsIoDriver() = default;
    ~cnsIoDriver();
    cnsIoDriver(const cnsIoDriver&) = delete;
    cnsIoDriver& operator=(const cnsIoDriver&) = delete;

    // Sets up the socket (or serial line), posts the receives and starts the worker threads.
    // Returns this driver, or null when the socket could not be created, configured, bound or
    // associated, when the serial line could not be opened (the user is shown why), or when
    // the driver's threads would not fit in the thread table.
    cnsIoDriver* Open(const nsOpenParams* params, cnsLibnetProvider* channel);

    // Tells as many worker threads to quit as this driver started and waits for them; closes
    // the socket, and, when no worker runs any more, the completion port and every record.
    void Shutdown(cnsLibnetProvider* channel);

    // 0 sent, 1 pending, -1 failed (also for null buffers or destination, count below 1),
    // -2 driver not open or the socket would block.
    int Send(const nsAddress* destination, const nsSendBuffer* buffers, uint32_t count,
             uint32_t tag, uint32_t flags);

    // Keeps one more receive outstanding: 0 completed at once, 1 pending, -1 failed.
    int PostReceive();

    // Posts a 0-byte completion of `kind` with the channel as key (timer sends, quits).
    void PostKind(uint32_t kind);

    // A zero-filled record with the tag set, from the free list or newly allocated.
    nsOverlapped* NewOverlapped(uint32_t tag);
    // Puts a record at the head of the free list.
    void DeleteOverlapped(nsOverlapped* record);

    // The worker's handling of a serial event completion; the worker returns the event
    // record to the free list afterwards.
    void HandleWaitComm(nsOverlapped* record);

    bool IsOpen() const { return open_.load(); }
    // Open got as far as starting threads: Shutdown must run before the driver goes.
    bool Started() const { return started_; }
    bool IsSerial() const { return serialBaudRate_ != 0; }
    uint32_t ThreadCount() const { return threadCount_; }
    cnsLibnetProvider* Channel() const { return channel_; }

private:
    int SendNow(const nsAddress& destination, const nsSendBuffer* buffers, uint32_t count);
    int SendOverlapped(const nsAddress& destination, const nsSendBuffer* buffers, uint32_t count,
                       uint32_t tag);
    bool SetUpSocket(const nsOpenParams& params);
    void CloseEndpoint();
    // Tells the application of datagrams the system dropped after the last one delivered.
    void ReportDropsAfterLastDatagram();
    uintptr_t Key() const { return reinterpret_cast<uintptr_t>(channel_); }

    // Serial line (serial_driver.cpp).
    bool OpenSerial();
    int PostSerialReceive();
    int WriteSerial(const uint8_t* data, size_t n, nsOverlapped* record);
    void CancelSerialWrites();
    void CloseSerial();
    // Takes what waits on the line into receive records, at most 500 bytes each.
    void ReadWaitingCharacters();

    // Guards the free list and the socket against the worker and the user-interface thread.
    std::mutex mutex_;
    UdpSocket socket_;
    bool bound_ = false;
    cnsLibnetProvider* channel_ = nullptr;
    nsOverlapped* freeList_ = nullptr;
    uint16_t bindPort_ = 0;
    std::string serialName_;
    uint32_t serialBaudRate_ = 0;
    uint32_t threadCount_ = 0;
    std::atomic<bool> open_{false};
    bool started_ = false;
    // Guards the serial line against a worker and the closing thread. Never held while the
    // free list's lock is taken.
    std::mutex serialMutex_;
    std::unique_ptr<cnsSerialPort> serialPort_;
};

}  // namespace tarvu
