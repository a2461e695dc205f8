#pragma once
// Makes ports below 1024 unbindable for the calling thread, as they are for an ordinary user:
// an unprivileged test run needs nothing; as root the thread drops CAP_NET_BIND_SERVICE from
// its effective capabilities (bind checks the calling thread's) and takes it back at the end.

#include "platform/plain_udp_socket.h"

#include <linux/capability.h>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>

namespace tarvu::test {

class PrivilegedPortsDenied {
public:
    PrivilegedPortsDenied() {
        if (!CanBindPrivileged()) {
            denied_ = true;
            return;
        }
        if (!ReadCapabilities()) {
            reason_ = "cannot read or change the thread's capabilities";
            return;
        }
        const uint32_t bit = 1u << CAP_NET_BIND_SERVICE;
        if ((data_[0].effective & bit) == 0) {
            reason_ = "privileged ports are open to every user on this system";
            return;
        }
        __user_cap_data_struct lowered[2] = {data_[0], data_[1]};
        lowered[0].effective &= ~bit;
        if (!Set(lowered)) {
            reason_ = "cannot drop CAP_NET_BIND_SERVICE";
            return;
        }
        dropped_ = true;
        denied_ = !CanBindPrivileged();
        if (!denied_) {
            reason_ = "privileged ports stay open without CAP_NET_BIND_SERVICE";
        }
    }
    ~PrivilegedPortsDenied() {
        if (dropped_) {
            Set(data_);
        }
    }
    PrivilegedPortsDenied(const PrivilegedPortsDenied&) = delete;
    PrivilegedPortsDenied& operator=(const PrivilegedPortsDenied&) = delete;

    bool Denied() const { return denied_; }
    // Why ports below 1024 could not be made unbindable.
    const std::string& Reason() const { return reason_; }

private:
    // Some port below 1024 that is free; binding it tells whether this thread may.
    static bool CanBindPrivileged() {
        for (uint16_t port = 1000; port < 1024; ++port) {
            PlainUdpSocket socket;
            std::string error;
            if (socket.Bind(port, error)) {
                return true;
            }
        }
        return false;
    }
    bool ReadCapabilities() {
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        header_.pid = 0;
        return ::syscall(SYS_capget, &header_, data_) == 0;
    }
    bool Set(__user_cap_data_struct* data) {
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        header_.pid = 0;  // the calling thread
        return ::syscall(SYS_capset, &header_, data) == 0;
    }

    __user_cap_header_struct header_ = {};
    __user_cap_data_struct data_[2] = {};
    bool dropped_ = false;
    bool denied_ = false;
    std::string reason_;
};

}  // namespace tarvu::test
