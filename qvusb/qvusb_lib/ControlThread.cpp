// The control thread of a handle: configures the unit once, keeps it alive with status reads
// while idle, and runs the acquisition when QVPlus_Start asks for one.

#include "qvusb/qvusb_lib/DeviceContext.h"
#include "qvusb/qvusb_lib/Log.h"
#include "qvusb/qvusb_lib/Timing.h"
#include "qvusb/qvusb_lib/TransferResult.h"

#include <cstring>

using qvusb::kLogError;
using qvusb::kLogWarning;

void QVPlusContext::ControlThreadMain() {
    while (!m_controlExit.load()) {
        if (m_status.running.load() != 0 &&
            (m_status.unitReady.load() != 0 || m_status.canActive.load() != 0)) {
            if (m_stopRequest.load() == kNoStopRequest) {
                if (!RunAcquisition()) SendStopCommand();
            } else {
                EndStoppedBeforeStart();
            }
            SetThreadPriorities(false);
            m_status.running.store(0);
            ReadUnitStatus();
            continue;
        }
        WaitIdle(qvusb::GetTiming().idlePollMs.load());
        if (m_controlExit.load()) break;
        if (m_status.running.load() != 0 && m_status.unitReady.load() != 0) continue;
        if (m_status.unitReady.load() != 0) {
            if (!ReadUnitStatus()) m_status.errorCode.store(QVPLUS_ERR_STATUS_READ);
        } else if (m_unit) {
            if (!ConfigureUnit()) return;
        } else {
            m_status.errorCode.store(QVPLUS_ERR_OPEN);
        }
    }
}

bool QVPlusContext::ConfigureUnit() {
    const int64_t result = m_unit->ConfigureBitStream(m_hasBitStreamPath ? m_bitStreamPath.c_str() : nullptr);
    if (result != qvusb::kXferSuccess) {
        QVUSB_LOG(kLogError, "QVUSBFX3ConfigurationBitStream failed.");
        QVUSB_LOG(kLogError, "%s", qvusb::TransferResultName(result));
        m_status.errorCode.store(QVPLUS_ERR_FPGA_DOWNLOAD);
        m_status.unitReady.store(0);
        return false;
    }
    uint8_t area[96] = {};
    m_unit->VendorWrite(qvusb::kCmdControl, 0, area, sizeof(area));
    m_status.unitReady.store(1);
    m_status.errorCode.store(0);
    return true;
}

bool QVPlusContext::ReadUnitStatus() {
    qvusb::UnitStatusReply reply;
    if (!m_unit || !m_unit->ReadStatus(reply)) return false;
    m_status.unitBufferSize.store(qvusb::kUnitMemorySize);
    const uint32_t previous = m_status.unitStatusWord.load();
    const uint32_t word =
        ((previous & 0xFFFFFF00u) | (reply.statusWord & 0xFFu)) | (reply.statusWord & 0xFFFFFF00u);
    m_status.unitStatusWord.store(word);
    m_unitStopTriggered = (reply.statusWord & qvusb::kUnitStateStopTriggered) != 0;
    if ((reply.statusWord & (qvusb::kUnitStateCapturing | qvusb::kUnitStateWaitingForStart)) != 0)
        m_unitSeenArmed = true;
    // The unit's memory overflowed and it lost records; said once per handle.
    if ((word & qvusb::kUnitEventOverflow) != 0 && !m_overflowLogged) {
        m_overflowLogged = true;
        QVUSB_LOG(kLogWarning, "Unit sample memory overflowed; records were lost.");
    }
    if (reply.writePointer != 0) m_lastFill = (reply.writePointer - m_readAddress) & qvusb::kUnitAddressMask;
    return true;
}

bool QVPlusContext::SendControlBlock(const uint8_t* block16) {
    return m_unit && m_unit->VendorWrite(qvusb::kCmdControl, 0, block16, 16) == 16;
}

void QVPlusContext::SendStopCommand() {
    m_runState = RunState::kStopped;
    m_commandState = CommandState::kStopSent;
    const uint8_t stop[16] = {};
    SendControlBlock(stop);
}

bool QVPlusContext::SendStartBlock() {
    const QVPlusStartParams& p = m_params;
    const uint8_t flags = p.triggerFlags;
    uint8_t block[16] = {};
    block[0] = static_cast<uint8_t>(0x01 | ((p.samplingCode & 0x03) << 1) | (flags << 3));
    if (flags & 0x03) {
        block[1] = static_cast<uint8_t>(((flags >> 4) & 1) | ((p.ch1StartSlope & 1) << 1) |
                                        (((flags >> 6) & 1) << 2) | ((p.ch1StopSlope & 1) << 3) |
                                        (((flags >> 5) & 1) << 4) | ((p.ch2StartSlope & 1) << 5) |
                                        (((flags >> 7) & 1) << 6) | ((p.ch2StopSlope & 1) << 7));
        block[2] = static_cast<uint8_t>((p.startCondition & 1) | ((p.stopCondition & 1) << 1));
    } else if (flags & 0x04) {
        block[2] = static_cast<uint8_t>((p.ch3Slope & 1) << 2);
    }
    const uint16_t thresholds[4] = {p.threshold1, p.threshold2, p.threshold3, 0};
    std::memcpy(block + 4, thresholds, sizeof(thresholds));
    std::memcpy(block + 12, p.rangeCodes, 4);
    if (!SendControlBlock(block)) return false;
    m_runState = RunState::kStartSent;
    m_commandState = CommandState::kStartSent;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    m_status.startSeconds.store(now.tv_sec);
    m_status.startNanoseconds.store(static_cast<int32_t>(now.tv_nsec));
    return true;
}
