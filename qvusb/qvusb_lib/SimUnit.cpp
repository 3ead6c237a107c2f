#include "qvusb/qvusb_lib/SimUnit.h"

#include "qvusb/qvusb_lib/Fx3Device.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace qvusb {

namespace {

// One record slot stays free so that a full memory never looks empty (write pointer = read address).
constexpr uint64_t kCapacityRecords = kUnitMemorySize / kReportRecordSize - 1;
constexpr uint16_t kSimVendorId = 0x04B4;
constexpr uint16_t kSimProductId = 0x00F1;
constexpr uint16_t kSimFirmware = 0x0105;

uint64_t SteadyNs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

uint32_t ReadLe32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

SimUnit::SimUnit(std::wstring serial, const SimConfig& config, Clock clock)
    : m_serial(std::move(serial)), m_config(config), m_clock(clock ? std::move(clock) : Clock(&SteadyNs)) {
    for (const SimFault& fault : m_config.faults)
        if (fault.kind == SimFaultKind::kOpenFailOnce) m_openFailPending = true;
}

bool SimUnit::FaultDue(SimFaultKind kind, uint64_t nowNs) const {
    for (const SimFault& fault : m_config.faults) {
        if (fault.kind != kind) continue;
        if (!m_everStarted) continue;
        if (static_cast<double>(nowNs - m_startNs) >= fault.atSeconds * 1e9) return true;
    }
    return false;
}

bool SimUnit::CheckUnplugged(uint64_t nowNs) {
    if (!m_unplugged && FaultDue(SimFaultKind::kUnplug, nowNs)) m_unplugged = true;
    return m_unplugged;
}

bool SimUnit::IsPresent() {
    std::lock_guard lock(m_mutex);
    return !CheckUnplugged(Now());
}

bool SimUnit::TryOpen() {
    std::lock_guard lock(m_mutex);
    if (CheckUnplugged(Now())) return false;
    if (m_openFailPending) {
        m_openFailPending = false;
        return false;
    }
    return true;
}

UsbDeviceInfo SimUnit::Info() const {
    UsbDeviceInfo info;
    info.usbRelease = 0x0320;
    info.vendorId = kSimVendorId;
    info.productId = kSimProductId;
    info.maxPacketSize0 = 512;
    info.deviceRelease = kSimFirmware;
    info.configurationCount = 1;
    info.manufacturer = L"QV+Analog";
    info.product = L"NAVO+ (simulated)";
    info.serialNumber = m_serial;
    return info;
}

void SimUnit::ResetUnit() {
    m_running = false;
    m_fpgaConfigured = false;
    m_bitStreamExpected = -1;
    m_writeRemaining = 0;
    m_readPending = false;
    std::memset(m_control, 0, sizeof(m_control));
}

bool SimUnit::Control(const ControlRequest& request, uint8_t* buffer, uint32_t& length) {
    std::lock_guard lock(m_mutex);
    if (CheckUnplugged(Now()) || length < 16) return false;
    const bool toDevice = request.direction == ControlDirection::kHostToDevice;
    switch (request.request) {
        case kReqBitStreamAnnounce:
            if (!toDevice) return false;
            m_fpgaConfigured = false;
            m_bitStreamExpected = ReadLe32(buffer);
            m_bitStreamReceived = 0;
            return true;
        case kReqBitStreamResult: {
            if (toDevice) return false;
            bool rejected = false;
            for (const SimFault& fault : m_config.faults)
                rejected |= fault.kind == SimFaultKind::kBitStreamReject;
            const bool ok =
                m_bitStreamExpected > 0 && m_bitStreamReceived == m_bitStreamExpected && !rejected;
            std::memset(buffer, 0, length);
            buffer[0] = ok ? 1 : 0;
            m_fpgaConfigured = ok;
            m_bitStreamExpected = -1;
            return true;
        }
        case kReqUnitReset:
            if (!toDevice) return false;
            ResetUnit();
            return true;
        default:
            return false;
    }
}

bool SimUnit::BulkOut(const uint8_t* buffer, uint32_t length) {
    std::lock_guard lock(m_mutex);
    const uint64_t now = Now();
    if (CheckUnplugged(now)) return false;
    if (length == 0) return true;  // zero-length packet
    if (m_bitStreamExpected >= 0 && m_bitStreamReceived < m_bitStreamExpected) {
        m_bitStreamReceived += length;
        return true;
    }
    if (m_writeRemaining > 0) {
        const uint32_t take = std::min(length, m_writeRemaining);
        if (m_writeCommand == kCmdControl) ApplyControlWrite(m_writeAddress, buffer, take);
        m_writeAddress += take;
        m_writeRemaining -= take;
        return true;
    }
    if (length < kCommandHeaderSize) return false;
    const uint16_t magic = static_cast<uint16_t>(buffer[0] | (buffer[1] << 8));
    const uint16_t command = static_cast<uint16_t>(buffer[2] | (buffer[3] << 8));
    const uint32_t dataLength = ReadLe32(buffer + 4);
    const uint32_t address = ReadLe32(buffer + 8);
    if (magic == kMagicRead) {
        m_readPending = true;
        m_readCommand = command;
        m_readAddress = address;
        m_readLength = dataLength;
        return true;
    }
    if (magic != kMagicWrite) return false;
    const uint32_t inline_ = std::min(length - kCommandHeaderSize, dataLength);
    if (command == kCmdControl) ApplyControlWrite(address, buffer + kCommandHeaderSize, inline_);
    m_writeCommand = command;
    m_writeAddress = address + inline_;
    m_writeRemaining = dataLength - inline_;
    return true;
}

void SimUnit::ApplyControlWrite(uint32_t address, const uint8_t* data, uint32_t length) {
    if (address < sizeof(m_control)) {
        const uint32_t n = std::min<uint32_t>(length, sizeof(m_control) - address);
        std::memcpy(m_control + address, data, n);
    }
    const bool run = (m_control[0] & 0x01) != 0;
    if (run && !m_running)
        StartCapture();
    else if (!run && m_running)
        StopCapture();
}

void SimUnit::StartCapture() {
    m_everStarted = true;
    m_running = true;
    m_startNs = Now();
    m_plan = SimCapturePlan::FromControlBlock(m_control);
    m_written = 0;
    m_consumedBytes = 0;
    m_nextSample = 0;
    m_lost = 0;
    m_statusEvents = 0;
    m_shortReadDone = false;
    m_segments.assign(1, Segment{0, 0});
}

void SimUnit::StopCapture() {
    Advance(Now());
    m_running = false;
}

void SimUnit::Advance(uint64_t nowNs) {
    if (!m_running) return;
    const uint64_t used = m_written - m_consumedBytes / kReportRecordSize;
    uint64_t target;
    if (m_config.maxSpeed)
        target = m_nextSample + (kCapacityRecords - used);
    else
        target = m_plan.SampledBy(nowNs - m_startNs);
    if (target <= m_nextSample) return;
    const uint64_t fresh = target - m_nextSample;
    const uint64_t space = kCapacityRecords - used;
    const uint64_t take = std::min(fresh, space);
    if (take > 0) {
        const Segment& last = m_segments.back();
        if (last.recordIndex + (m_written - last.linearRecord) != m_nextSample)
            m_segments.push_back(Segment{m_written, m_nextSample});
        m_written += take;
    }
    if (take < fresh) {
        m_lost += fresh - take;
        m_statusEvents |= kSimStatusOverflow;
    }
    m_nextSample = target;
}

void SimUnit::FillStatus(uint8_t* out) {
    const uint32_t wp = static_cast<uint32_t>(m_written * kReportRecordSize) & kUnitAddressMask;
    uint32_t state = m_fpgaConfigured ? kSimStatusConfigured : 0;
    if (m_running) {
        const uint64_t t = Now() - m_startNs;
        if (t < m_plan.beginNs)
            state |= kSimStatusWaitingForStart;
        else if (m_plan.endNs != kNever && t >= m_plan.endNs)
            state |= kSimStatusStopTriggered;
        else
            state |= kSimStatusCapturing;
    }
    const uint32_t word = state | m_statusEvents;
    const uint32_t lost = static_cast<uint32_t>(std::min<uint64_t>(m_lost, 0xFFFFFFFFu));
    const uint8_t reply[12] = {static_cast<uint8_t>(wp & 0xF0),  static_cast<uint8_t>(wp >> 8),
                               static_cast<uint8_t>(wp >> 16),   static_cast<uint8_t>((wp >> 24) & 0x0F),
                               static_cast<uint8_t>(word),       static_cast<uint8_t>(word >> 8),
                               static_cast<uint8_t>(word >> 16), static_cast<uint8_t>(word >> 24),
                               static_cast<uint8_t>(lost),       static_cast<uint8_t>(lost >> 8),
                               static_cast<uint8_t>(lost >> 16), static_cast<uint8_t>(lost >> 24)};
    std::memcpy(out, reply, sizeof(reply));
}

uint64_t SimUnit::RecordIndexAt(uint64_t linearRecord) const {
    auto it = std::upper_bound(m_segments.begin(), m_segments.end(), linearRecord,
                               [](uint64_t value, const Segment& s) { return value < s.linearRecord; });
    const Segment& segment = *(it == m_segments.begin() ? it : it - 1);
    return segment.recordIndex + (linearRecord - segment.linearRecord);
}

void SimUnit::FillSamples(uint32_t address, uint8_t* out, uint32_t length) {
    // Map the address onto the linear position counted since the start, reading forward from
    // what the host has consumed so far.
    const uint64_t consumedAddress = m_consumedBytes & kUnitAddressMask;
    const uint64_t linear = m_consumedBytes + ((address - consumedAddress) & kUnitAddressMask);
    const uint64_t writtenBytes = m_written * kReportRecordSize;
    uint64_t pos = linear;
    const uint64_t end = linear + length;
    uint8_t record[kReportRecordSize];
    while (pos < end) {
        const uint64_t recordNo = pos / kReportRecordSize;
        const uint32_t offset = static_cast<uint32_t>(pos % kReportRecordSize);
        if (recordNo >= m_written) {  // not captured (yet): the memory holds nothing meaningful
            std::memset(out, 0, end - pos);
            break;
        }
        if (offset == 0 && end - pos >= kReportRecordSize) {
            // Whole records up to the end, the end of what was written, or the next segment.
            uint64_t count = std::min((end - pos) / kReportRecordSize, m_written - recordNo);
            auto next =
                std::upper_bound(m_segments.begin(), m_segments.end(), recordNo,
                                 [](uint64_t value, const Segment& s) { return value < s.linearRecord; });
            if (next != m_segments.end()) count = std::min(count, next->linearRecord - recordNo);
            GenerateRecords(m_config.signal, m_plan.timing, RecordIndexAt(recordNo), count, out);
            out += count * kReportRecordSize;
            pos += count * kReportRecordSize;
            continue;
        }
        GenerateRecords(m_config.signal, m_plan.timing, RecordIndexAt(recordNo), 1, record);
        const uint32_t take =
            static_cast<uint32_t>(std::min<uint64_t>(kReportRecordSize - offset, end - pos));
        std::memcpy(out, record + offset, take);
        out += take;
        pos += take;
    }
    m_consumedBytes = std::max(m_consumedBytes, std::min(end, writtenBytes));
    while (m_segments.size() > 1 && m_segments[1].linearRecord <= m_consumedBytes / kReportRecordSize)
        m_segments.erase(m_segments.begin());
}

bool SimUnit::BulkIn(uint8_t* buffer, uint32_t& length) {
    std::lock_guard lock(m_mutex);
    const uint64_t now = Now();
    if (CheckUnplugged(now) || !m_readPending) {
        length = 0;
        return false;
    }
    m_readPending = false;
    const bool failing = FaultDue(SimFaultKind::kStatusFail, now);
    uint32_t n = std::min(length, m_readLength);
    if (m_readCommand == kCmdStatus) {
        if (failing || n < 12) {
            length = 0;
            return false;
        }
        Advance(now);
        FillStatus(buffer);
        length = 12;
        return true;
    }
    if (m_readCommand != kCmdSampleMemory) {
        std::memset(buffer, 0, n);
        length = n;
        return true;
    }
    if (failing) {
        length = 0;
        return false;
    }
    if (!m_shortReadDone && FaultDue(SimFaultKind::kShortRead, now) && n >= 2 * kReportRecordSize) {
        m_shortReadDone = true;
        n = (n / 2) & ~(kReportRecordSize - 1);
    }
    Advance(now);
    FillSamples(m_readAddress, buffer, n);
    length = n;
    return true;
}

bool SimUnit::FaultDueNow(SimFaultKind kind) {
    std::lock_guard lock(m_mutex);
    return FaultDue(kind, Now());
}

uint64_t SimUnit::LostRecords() {
    std::lock_guard lock(m_mutex);
    Advance(Now());
    return m_lost;
}

uint64_t SimUnit::WrittenRecords() {
    std::lock_guard lock(m_mutex);
    Advance(Now());
    return m_written;
}

uint32_t SimUnit::StatusWord() {
    std::lock_guard lock(m_mutex);
    Advance(Now());
    uint8_t reply[12];
    FillStatus(reply);
    return ReadLe32(reply + 4);
}

bool SimUnit::FpgaConfigured() {
    std::lock_guard lock(m_mutex);
    return m_fpgaConfigured;
}

}  // namespace qvusb
