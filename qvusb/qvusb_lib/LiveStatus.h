#pragma once
// The live status block of a handle. The library threads write single fields; callers take
// copies (Snapshot), so each field is seen whole while fields of one copy may come from
// different moments.

#include "qvusb/qvusb_api.h"

#include <atomic>
#include <cstdint>

namespace qvusb {

struct LiveStatus {
    std::atomic<uint32_t> canActive{0};
    std::atomic<uint32_t> unitReady{0};
    std::atomic<uint32_t> running{0};
    std::atomic<int64_t> startSeconds{0};
    std::atomic<int32_t> startNanoseconds{0};
    std::atomic<uint32_t> elapsedMs{0};
    std::atomic<uint32_t> fileNumber{0};
    std::atomic<uint64_t> bytesAcquired{0};
    std::atomic<uint32_t> unitBufferSize{0};
    std::atomic<uint32_t> unitBufferFill{0};
    std::atomic<uint32_t> unitStatusWord{0};
    std::atomic<uint32_t> errorCode{0};

    QVPlusStatus Snapshot() const {
        QVPlusStatus s{};
        s.canActive = canActive.load();
        s.unitReady = unitReady.load();
        s.running = running.load();
        s.startSeconds = startSeconds.load();
        s.startNanoseconds = startNanoseconds.load();
        s.elapsedMs = elapsedMs.load();
        s.fileNumber = fileNumber.load();
        s.bytesAcquired = bytesAcquired.load();
        s.unitBufferSize = unitBufferSize.load();
        s.unitBufferFill = unitBufferFill.load();
        s.unitStatusWord = unitStatusWord.load();
        s.errorCode = errorCode.load();
        return s;
    }
};

}  // namespace qvusb
