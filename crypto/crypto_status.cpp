#include "crypto/crypto_status.h"

namespace tarvu {

const char* CryptoStatusName(int status) {
    switch (status) {
        case kCryptoOk:
            return "kCryptoOk";
        case kErrPrimeNotFound:
            return "kErrPrimeNotFound";
        case kErrModulusBits:
            return "kErrModulusBits";
        case kErrNotSeeded:
            return "kErrNotSeeded";
        default:
            return "unknown";
    }
}

}  // namespace tarvu
