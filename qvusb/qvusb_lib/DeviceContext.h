#pragma once
// The per-unit context behind a QVPlusHandle: the opened unit, the control thread (FPGA
// configuration, keep-alive, acquisition) and the writer thread (files and data callback),
// which share an 8 MiB capture buffer used as two alternating 4 MiB halves. The two threads
// meet only through the hand-over record and the semaphores data ready / writer done, so at
// most one block is in flight.

#include "qvusb/qvusb_api.h"
#include "qvusb/qvusb_lib/Fx3Device.h"
#include "qvusb/qvusb_lib/LiveStatus.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <semaphore>
#include <string>
#include <thread>

struct QVPlusContext {
public:
    static constexpr uint32_t kHalfSize = 0x400000;  // bytes per capture-buffer half

    // What the control thread last told the unit: the run state (start command sent or not)
    // and the command state (which control block went last).
    enum class RunState : uint8_t { kStopped = 0, kStartSent = 1 };
    enum class CommandState : uint8_t { kNone = 0, kStopSent = 2, kStartSent = 3 };
    // m_stopRequest without a request; otherwise QVPLUS_STOP_DRAIN or QVPLUS_STOP_ABORT.
    static constexpr uint32_t kNoStopRequest = 0;

    QVPlusContext(uint32_t captureMode, std::wstring deviceId, std::string bitStreamPath,
                  bool hasBitStreamPath);
    ~QVPlusContext();

    // Steps of QVPlus_Create after allocation; false when the handle cannot be used.
    bool AllocateBuffers();
    bool OpenUnit();
    bool StartThreads();

    int32_t Start(const QVPlusStartParams& params);
    int32_t Stop(uint32_t reason);
    QVPlusStatus Status() const { return m_status.Snapshot(); }
    void ClearError() { m_status.errorCode.store(0); }

private:
    // Hand-over record between the control thread and the writer thread.
    struct HandOver {
        std::FILE* file = nullptr;  // null: files disabled
        uint8_t* half = nullptr;
        uint32_t elementSize = 1;
        uint32_t count = 0;
        bool flush = false;
        uint32_t endFlag = 0;
        size_t result = 0;  // items written (element size when files are disabled)
        bool failed = false;
    };

    // Control thread (ControlThread.cpp, Acquisition.cpp).
    struct AcquisitionRun;  // the state of one acquisition's loop (Acquisition.cpp)
    void ControlThreadMain();
    bool ConfigureUnit();
    bool ReadUnitStatus();
    bool RunAcquisition();
    bool StartUnit(AcquisitionRun& run);
    bool AcquireTurn(AcquisitionRun& run);
    bool HandleStopRequest(AcquisitionRun& run, uint32_t request);
    bool EndedByStopTrigger(bool polled, uint32_t request) const;
    int64_t NextBlockSize(const AcquisitionRun& run, uint32_t request) const;
    bool WorthReadingWhileCapturing(const AcquisitionRun& run) const;
    bool TransferBlock(AcquisitionRun& run, uint32_t length);
    bool OpenReportFile(AcquisitionRun& run);
    bool CloseFullReportFile(AcquisitionRun& run);
    bool FinishAcquisition(AcquisitionRun& run);
    void CallEndOfData(const AcquisitionRun& run);
    void EndStoppedBeforeStart();
    bool Fail(AcquisitionRun& run, uint32_t errorCode);
    bool SendControlBlock(const uint8_t* block16);
    bool SendStartBlock();
    void SendStopCommand();
    bool WaitForWriter();
    void WaitIdle(uint32_t ms);
    void Wake();
    void SetThreadPriorities(bool raised);

    // Writer thread (WriterThread.cpp).
    void WriterThreadMain();

    const uint32_t m_captureMode;
    const std::wstring m_deviceId;
    const std::string m_bitStreamPath;
    const bool m_hasBitStreamPath;

    std::unique_ptr<uint8_t[]> m_captureBuffer;  // two halves of kHalfSize
    uint8_t m_header[512] = {};
    std::binary_semaphore m_dataReady{0};
    std::binary_semaphore m_writerDone{0};
    std::thread m_controlThread;
    std::thread m_writerThread;

    std::shared_ptr<qvusb::UsbBackend> m_backend;
    std::unique_ptr<qvusb::Fx3Device> m_unit;

    // Written by QVPlus_Start while no acquisition runs; read by the threads while one runs.
    std::mutex m_apiMutex;
    QVPlusStartParams m_params{};
    std::string m_folder;
    std::string m_prefix;
    bool m_filesDisabled = true;
    int64_t m_startSeconds = 0;

    qvusb::LiveStatus m_status;
    std::atomic<uint32_t> m_stopRequest{kNoStopRequest};
    std::atomic<bool> m_controlExit{false};
    std::atomic<bool> m_writerExit{false};

    std::mutex m_wakeMutex;
    std::condition_variable m_wakeCondition;
    bool m_wakeRequested = false;

    // Control thread only.
    uint32_t m_readAddress = 0;
    uint32_t m_lastFill = 0;
    RunState m_runState = RunState::kStopped;
    CommandState m_commandState = CommandState::kNone;
    bool m_handOverPending = false;
    bool m_overflowLogged = false;
    bool m_unitStopTriggered = false;  // the latest status read said: the stop trigger fired
    bool m_unitSeenArmed = false;      // capturing or waiting for its start trigger since the start
    HandOver m_handOver;               // the control thread fills it before data ready; the writer after
    std::string m_currentPath;
};
