#pragma once
// An owner for the oscillograph view model in tests (LogCapture comes with the
// waveform test support).

#include "QV+AnalogCore/Presenters/IQVxAnalogOscilloGraphOwner.h"
#include "QVxCore/AnalogSettings.h"
#include "QVxCore/tests/waveform_test_support.h"

namespace qvx::test {

class FakeOwner : public IQVxAnalogOscilloGraphOwner {
public:
    AnalogSettings settings;
    bool sessionOpen = true;
    bool dark = false;
    AnalogSettings* GetSessionSettings() const override {
        return sessionOpen ? const_cast<AnalogSettings*>(&settings) : nullptr;
    }
    bool IsDarkLook() const override { return dark; }
};

}  // namespace qvx::test
