#pragma once
// The device start record of a trace, filled from the analog settings.

#include "QVxCore/AnalogSettings.h"
#include "qvusb/qvusb_api.h"

#include <cstdint>

// Fills `out` (zeroed first) from `settings`: kind 1, no output folder (the
// application writes the report files itself), an empty file prefix, the
// device manager's data callback. A range index, sampling frequency, trigger
// mode or condition outside its values is an internal error (QVX_UNREACHABLE
// throws). Returns the sample rate of the settings' sampling frequency.
std::uint32_t QVxFillStartParams(const qvx::AnalogSettings& settings, QVPlusStartParams& out);
