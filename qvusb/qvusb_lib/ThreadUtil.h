#pragma once
// Thread names and priorities, best effort: a priority the system refuses (no real-time
// rights) never fails the caller.

#include <thread>

namespace qvusb {

enum class ThreadPriority { kNormal, kHighest, kTimeCritical };

void SetThreadName(std::thread& thread, const char* name);  // at most 15 characters
void SetThreadPriority(std::thread& thread, ThreadPriority priority);

}  // namespace qvusb
