#pragma once
// Functions of the stand-in libusb beyond libusb's own, for the tests that run through it. A
// test program finds them with dlsym(RTLD_DEFAULT, ...) so that it needs no link to the
// stand-in: when they are absent, the real libusb is loaded.

#include <cstddef>
#include <cstdint>

extern "C" {

// Records the unit at index (in QVPLUS_STANDIN_UNITS order) of the session created last has
// written into its sample memory and lost; 0, or -1 when there is no such unit.
int qvplus_standin_unit_records(int index, uint64_t* written, uint64_t* lost);
using QvplusStandinUnitRecordsFn = int (*)(int, uint64_t*, uint64_t*);

// Use problems reported so far by this process.
size_t qvplus_standin_problem_count(void);
using QvplusStandinProblemCountFn = size_t (*)();
}
