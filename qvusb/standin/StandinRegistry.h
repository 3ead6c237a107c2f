#pragma once
// State of the stand-in libusb: the sessions (libusb_context), the simulated units each session
// presents as USB devices, the opened handles and the record of how the program used them.
//
// Every session takes its units from the environment when it is created: QVPLUS_STANDIN_UNITS
// (serial numbers, the syntax of QVPLUS_SIMULATED_UNITS) and the QVPLUS_SIM_SIGNAL, _SPEED and
// _FAULTS variables of the simulated units. The bookkeeping is guarded by one mutex; the
// transfers themselves run on the caller's thread against the unit, which has its own lock.
//
// Use problems (a handle not closed, a device reference not released, an interface not
// released, a transfer still pending when the session ends or the process exits, and calls the
// library's documentation forbids) are written to stderr at once and appended to the file named
// by QVPLUS_STANDIN_REPORT, so that a test run can fail on them.

#include "qvusb/qvusb_lib/SimConfig.h"
#include "qvusb/qvusb_lib/SimUnit.h"

#include <libusb.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

struct libusb_device {
    libusb_context* context = nullptr;
    std::shared_ptr<qvusb::SimUnit> unit;
    uint8_t address = 0;
    int references = 0;                         // taken by the program (lists, libusb_ref_device)
    int openHandles = 0;                        // handles of this device not yet closed
    libusb_device_handle* claimedBy = nullptr;  // the handle holding interface 0
    std::set<qvusb::SimFaultKind> firedFaults;  // one-shot host faults already used
};

struct libusb_device_handle {
    libusb_device* device = nullptr;
    std::atomic<int> transfersInFlight{0};
};

struct libusb_context {
    qvusb::SimConfig config;
    std::vector<std::unique_ptr<libusb_device>> devices;  // one per unit, kept for the session
    std::set<libusb_device_handle*> handles;              // open handles
    std::set<libusb_device**> deviceLists;                // lists not yet freed
    std::set<libusb_config_descriptor*> configs;          // configuration descriptors not yet freed
};

namespace qvusb::standin {

class Registry {
public:
    // The one registry of the process; never destroyed, so that the check at exit can use it.
    static Registry& Get();

    std::mutex& Mutex() { return m_mutex; }

    // Called with the mutex held.
    libusb_context* CreateContext();
    // Checks the session's use, reports what is left over and frees the session.
    void DestroyContext(libusb_context* context);
    bool IsLiveContext(libusb_context* context) const { return m_contexts.count(context) != 0; }
    bool IsLiveHandle(libusb_device_handle* handle) const;
    bool IsLiveDevice(libusb_device* device) const;
    // The session created last, while it is open.
    libusb_context* Latest() const { return m_latest; }
    // The session of calls that pass no context; made by the first libusb_init(NULL) and
    // ended by the matching number of libusb_exit(NULL).
    libusb_context* DefaultContext() const { return m_default; }
    libusb_context* AcquireDefaultContext();
    void ReleaseDefaultContext();
    // The session whose list or descriptor that is, or null.
    libusb_context* OwnerOfList(libusb_device** list) const;
    libusb_context* OwnerOfConfig(libusb_config_descriptor* config) const;
    // Reports a use problem (stderr and QVPLUS_STANDIN_REPORT).
    void ReportProblem(const std::string& text);
    size_t ProblemCount() const { return m_problems; }
    // Reports every session the process never ended.
    void CheckAtExit();

private:
    Registry() = default;
    void CheckLeftovers(libusb_context* context);

    std::mutex m_mutex;
    std::set<libusb_context*> m_contexts;
    libusb_context* m_latest = nullptr;
    libusb_context* m_default = nullptr;
    int m_defaultUsers = 0;
    size_t m_problems = 0;
};

// The unit's serial number as narrow text for messages.
std::string SerialOf(const libusb_device* device);

}  // namespace qvusb::standin
