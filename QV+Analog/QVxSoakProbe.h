#pragma once
// A probe for long runs of the program (scripts/soak-app.sh), made only when the environment
// variable QVPLUS_SOAK_PROBE names a file:
// - once a second it appends one line to that file:
//     UNIX_MS LATENCY_MAX_MS BUFFER_USE_PERCENT RECORDS HITS TRACE_STATE
//   LATENCY_MAX_MS is the largest lateness in that second of a 10 ms timer of the GUI thread's
//   event loop (how long a user's click could have waited), BUFFER_USE_PERCENT the unit's
//   memory fill, RECORDS and HITS what the running or last trace took in and found;
// - every QVPLUS_SOAK_EXERCISE_S seconds (default 10; 0: never) it does what a user looking
//   at a running trace does: a zoom step (in, and back out the next time), a move of M1 and
//   M2, and a scroll of the data list (to its end, then to its start).
// GUI thread only.

#include <QElapsedTimer>
#include <QTimer>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

class CMainFrame;
class QVxAnalogViewModel;

class QVxSoakProbe {
public:
    static constexpr const char* kFileVariable = "QVPLUS_SOAK_PROBE";
    static constexpr const char* kExerciseVariable = "QVPLUS_SOAK_EXERCISE_S";
    static constexpr int kTickMs = 10;

    // The probe when kFileVariable is set and its file opens; none otherwise.
    static std::unique_ptr<QVxSoakProbe> FromEnvironment(QVxAnalogViewModel& viewModel, CMainFrame& frame);

    QVxSoakProbe(QVxAnalogViewModel& viewModel, CMainFrame& frame, std::FILE* out, int exerciseSeconds);
    ~QVxSoakProbe();
    QVxSoakProbe(const QVxSoakProbe&) = delete;
    QVxSoakProbe& operator=(const QVxSoakProbe&) = delete;

private:
    void OnTick();
    void WriteSample();
    double BufferUsePercent() const;
    void Exercise();
    void StepZoom();
    void MoveMarkers();
    void ScrollDataList();

    QVxAnalogViewModel& m_viewModel;
    CMainFrame& m_frame;
    std::FILE* m_out;
    int m_exerciseSeconds;
    QTimer m_tick;
    QElapsedTimer m_sinceTick;
    QElapsedTimer m_sinceSample;
    std::int64_t m_worstLatenessMs = 0;
    int m_samples = 0;
    int m_exercises = 0;
};
