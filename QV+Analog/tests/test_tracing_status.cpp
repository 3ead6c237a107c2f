// Tracing status form: validation before a start, storing the form, controls per
// trace and device state, range lists, and a trace through the simulated unit.

#include "QV+Analog/TracingStatus/CQVxAnalogTracingStatusDlg.h"

#include <gtest/gtest.h>
