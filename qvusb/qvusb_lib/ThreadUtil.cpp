#include "qvusb/qvusb_lib/ThreadUtil.h"

#include <pthread.h>
#include <sched.h>

namespace qvusb {

void SetThreadName(std::thread& thread, const char* name) {
    if (thread.joinable()) pthread_setname_np(thread.native_handle(), name);
}

void SetThreadPriority(std::thread& thread, ThreadPriority priority) {
    if (!thread.joinable()) return;
    sched_param param{};
    int policy = SCHED_OTHER;
    if (priority != ThreadPriority::kNormal) {
        policy = SCHED_RR;
        const int low = sched_get_priority_min(SCHED_RR);
        const int high = sched_get_priority_max(SCHED_RR);
        param.sched_priority = priority == ThreadPriority::kTimeCritical ? high : (low + high) / 2;
    }
    pthread_setschedparam(thread.native_handle(), policy, &param);  // refused without rights: fine
}

}  // namespace qvusb
