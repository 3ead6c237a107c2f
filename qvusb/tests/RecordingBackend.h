#pragma once
// A USB backend for protocol tests: every transfer is recorded with its bytes, bulk-IN reads
// are answered from a callback, opens can be made to fail, and a transfer can be held at a
// gate so that a second transfer meets the transfer lock.

#include "qvusb/qvusb_lib/UsbBackend.h"

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qvusb::test {

struct RecordedTransfer {
    Endpoint endpoint = Endpoint::kBulkOut;
    uint32_t length = 0;
    std::vector<uint8_t> bytes;  // bulk-OUT: what was sent
};

struct RecordedControl {
    ControlRequest request;
    std::vector<uint8_t> bytes;
};

struct FakeUnit {
    std::wstring serial;
    uint16_t vendorId = 0x04B4;
    uint16_t deviceRelease = 0x0105;
    int failOpens = 0;  // the next this many opens fail
};

class RecordingBackend : public UsbBackend {
public:
    explicit RecordingBackend(std::vector<FakeUnit> units) : m_units(std::move(units)) {}

    int CountUnits() override;
    std::unique_ptr<UsbDevice> Open(int index) override;
    bool ResetParentPort(int index) override;

    // Shared record of everything the devices did (guarded by Mutex()).
    std::mutex& Mutex() { return m_mutex; }
    std::vector<RecordedTransfer> transfers;
    std::vector<RecordedControl> controls;
    std::vector<int> resets;
    int opens = 0;
    int closes = 0;
    uint32_t transferSize = 0;

    // Bulk-IN: fills up to length bytes, returns how many; default fills a byte pattern.
    std::function<uint32_t(uint8_t*, uint32_t)> bulkIn;
    // Control requests from the device: fills the 16-byte reply.
    std::function<void(uint8_t*)> controlIn;
    // When set, the next bulk-IN transfer signals entered and waits for release.
    std::shared_ptr<std::promise<void>> gateEntered;
    std::shared_future<void> gateRelease;

    std::vector<FakeUnit> m_units;

private:
    std::mutex m_mutex;
};

}  // namespace qvusb::test
