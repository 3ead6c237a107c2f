#pragma once
// The model behind the waveform monitor window: the horizontal viewport (begin
// time, ns per pixel column, column count), the cursor, the markers and the zoom
// steps, and the per-pixel render data of every channel. Abstract: a subclass
// loads and reads the records (OnLoadData ... OnGetDisplayTriggerPosition).
//
// Threads: constructed, configured and painted on the GUI thread; every viewport
// call checks that it runs on the construction thread. In ad-hoc mode (a trace in
// progress) one writer thread fills the writing side inside a WriteBatch; viewport
// changes made meanwhile are queued and applied at the start of the next batch.
// Lock order: this presenter's lock before any lock of the owning view model.

#include "QVxCore/AnalogSettingsCodes.h"
#include "QVxCore/Presenters/Signal.h"
#include "QVxCore/Presenters/WaveformRenderData.h"
#include "QVxCore/Presenters/WaveformScalingList.h"
#include "QVxCore/Presenters/WaveformStyle.h"
#include "QVxCore/Presenters/WaveformTrackPresenter.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

namespace qvx {

// How OnReadData picks the value at a time.
enum class WaveformReadMode : std::int32_t {
    kRecordAtTime = 0,  // the record at the time or the last one before it
    kReserved = 1,      // named by the interface, implemented by no view
};

struct WaveformVisualSettings;

// Which application the presenter serves; the track area draws some parts only
// for the analog usage.
enum class WaveformUsage : std::uint32_t { kGeneric = 0, kAnalog = 1 };

// Channel values at the two markers, read when a marker is set (stored data).
struct WaveformMarkerValueCache {
    static constexpr std::size_t kChannels = 4;
    std::array<std::array<std::int64_t, kChannels>, 2> values{};
    std::array<std::array<bool, kChannels>, 2> valid{};
};

class WaveformPresenter {
    friend class WaveformRenderData;

public:
    static constexpr int kTrackCount = 4;
    static constexpr int kMarkerCount = 2;

    using TrackPresenterFactory = std::function<std::unique_ptr<WaveformTrackPresenter>(
        WaveformPresenter* presenter, int channelIndex)>;

    // `visualSettings` belongs to the session and must outlive the presenter.
    // `factory` makes the track presenter of each channel (plain ones when empty).
    WaveformPresenter(WaveformVisualSettings* visualSettings, TrackPresenterFactory factory = {},
                      WaveformUsage usage = WaveformUsage::kGeneric);
    virtual ~WaveformPresenter();
    WaveformPresenter(const WaveformPresenter&) = delete;
    WaveformPresenter& operator=(const WaveformPresenter&) = delete;

    Signal<> ViewportChanged;
    Signal<> ScaleChanged;
    Signal<std::uint64_t> TimeUnitChanged;

    // --- Viewport calls: construction thread only.

    // Stored data: every column of the writing side is (re)loaded from the subclass.
    void SetupForStoredData();
    // Ad-hoc data: empties the writing side at the visual settings' timeScale and
    // waits for records pushed through WriteBatch; markers are switched off.
    void SetupForAdhocData();
    // Zoom to `timeParPixel` ns per column around the cursor (stored in timeScale).
    void ResetViewportScale(std::int64_t timeParPixel);
    void ResetViewportWidth(std::int64_t columns);
    void SetViewportBeginTimeOffset(std::int64_t t);
    void UpdateLastTime(std::int64_t t);
    // Stored data only: the cursor (at most lastTime) and every track's value there.
    void UpdateCursorTime(std::int64_t time);
    void SetMarkerTime(int marker, std::int64_t time);
    void SetMarkerEnabled(int marker, bool enabled);
    void SetTimeUnit(TimeDisplayUnit unit);
    // Ad-hoc data: copies the newest written data into the reading side for painting.
    void FetchRenderData();

    // --- Subclass operations, also used by the views and lists.

    // Records of [beginTime, endTime] ns into the writing side (stored data).
    virtual void OnLoadData(std::int64_t beginTime, std::int64_t endTime) = 0;
    // One centred raw value of `channel` at `time` ns; false when there is none.
    virtual bool OnReadData(int channel, std::int64_t time, WaveformReadMode readMode,
                            std::int64_t* outValue) = 0;
    virtual std::string OnMakeDisplayValue(int channel, std::int64_t rawValue) = 0;
    virtual std::string OnMakeDisplayNormalizedValue(int channel, double normalizedValue) = 0;
    virtual double OnGetDisplayTriggerPosition() = 0;
    // The clock time of time 0 (ns since 1970) while the view shows clock times, none
    // while it shows the time since the start. GUI thread.
    virtual std::optional<std::int64_t> OnGetClockOrigin() const { return std::nullopt; }

    // A batch of writes into the writing side, on any thread. In ad-hoc mode it
    // holds the exclusive lock for its whole life and applies the queued viewport
    // changes first. Sets m_writableLocked, so that no on-demand load runs inside.
    //
    // Publishing is lazy: PublishAdhoc only marks the ad-hoc render data as lagging
    // behind the writing side, which holds its content until the next batch changes it;
    // FetchRenderData then copies from the writing side. A later batch first brings the
    // ad-hoc data up to date (one copy), unless it is made with `publishesAtEnd`: the
    // caller promises to call PublishAdhoc before it ends, so the copy would be
    // overwritten anyway. A batch per millisecond at the top rate so copies nothing while
    // the live view follows the newest data.
    class WriteBatch {
    public:
        explicit WriteBatch(WaveformPresenter& presenter, bool publishesAtEnd = false);
        ~WriteBatch();
        WriteBatch(const WriteBatch&) = delete;
        WriteBatch& operator=(const WriteBatch&) = delete;
        // Ad-hoc mode: what the writing side holds now is what the GUI fetches next.
        void PublishAdhoc();
        WaveformRenderData& RenderData() { return *m_presenter.m_writingRenderData; }

    private:
        WaveformPresenter& m_presenter;
        std::unique_lock<std::shared_mutex> m_lock;
    };

    // --- State.

    bool IsStoredData() const { return m_storedData.load() == 1; }
    bool IsWritableLocked() const { return m_writableLocked.load(); }
    std::int64_t GetCursorTime() const { return m_cursorTime; }
    WaveformUsage GetUsage() const { return m_usage; }
    WaveformVisualSettings* GetVisualSettings() const { return m_visualSettings; }
    const WaveformScalingList& GetScalingList() const { return m_scalingList; }
    WaveformStyle& GetStyle() { return *m_style; }
    const WaveformStyle& GetStyle() const { return *m_style; }
    const WaveformMarkerValueCache& GetMarkerValueCache() const { return m_markerValueCache; }
    std::size_t TrackCount() const { return m_trackPresenters.size(); }
    WaveformTrackPresenter& Track(std::size_t i) { return *m_trackPresenters[i]; }
    const WaveformTrackPresenter& Track(std::size_t i) const { return *m_trackPresenters[i]; }
    // Option flags (bytes, 0 off, 1 on).
    enum Option : std::size_t {
        kOptionFitToHeight = 0,           // tracks share the area's height
        kOptionVerticalMouseScaling = 1,  // Control + wheel scales a track vertically
        kOptionVerticalDivisions = 2,     // the caption's scale and the horizontal grid
        kOptionLastTimeReadout = 3,       // the newest record's time in the ruler
        kOptionCount = 4,
    };
    std::uint8_t GetOption(std::size_t i) const { return i < m_options.size() ? m_options[i] : 0; }
    void SetOption(std::size_t i, std::uint8_t value);

    // Writing side: painted in stored mode. GUI thread (stored mode) or inside a WriteBatch.
    const WaveformRenderData& GetWritingRenderData() const { return *m_writingRenderData; }
    // Reading side: painted in ad-hoc mode after FetchRenderData. GUI thread.
    const WaveformRenderData& GetReadingRenderData() const { return *m_readingRenderData; }
    // The side the window paints in the current mode.
    const WaveformRenderData& GetPaintRenderData() const;
    bool HasAdhocRenderData() const { return m_adhocRenderData != nullptr; }

protected:
    // Applies the queued viewport changes (last time, begin, width, scale) to the
    // writing side and the ad-hoc render data. Stored data: GUI thread; ad-hoc data:
    // with the exclusive lock held.
    void ApplyPendingViewportChanges();
    WaveformRenderData& WritingRenderData() { return *m_writingRenderData; }

private:
    bool CheckThread() const;
    std::unique_ptr<WaveformRenderData> MakeRenderData(bool writingSide, std::int64_t timeParPixel);
    void ReadMarkerValues(int marker);

    WaveformScalingList m_scalingList;
    std::unique_ptr<WaveformRenderData> m_writingRenderData;
    std::unique_ptr<WaveformRenderData> m_adhocRenderData;
    // The ad-hoc render data lags behind the writing side, which holds what it should
    // hold (see WriteBatch). Guarded by m_lock.
    bool m_adhocBehind = false;
    std::unique_ptr<WaveformRenderData> m_readingRenderData;
    std::vector<std::unique_ptr<WaveformTrackPresenter>> m_trackPresenters;
    WaveformMarkerValueCache m_markerValueCache;
    WaveformVisualSettings* m_visualSettings;
    std::unique_ptr<WaveformVisualSettings> m_fallbackSettings;  // only when none was given
    WaveformUsage m_usage;
    std::atomic<std::int32_t> m_storedData{1};
    std::atomic<bool> m_writableLocked{false};
    std::thread::id m_constructionThreadId;
    std::shared_mutex m_lock;

    // Viewport values waiting to be applied; guarded by m_pendingMutex because the
    // GUI thread queues them while a writer thread may be applying.
    std::mutex m_pendingMutex;
    std::optional<std::int64_t> m_pendingViewportWidth;
    std::optional<std::int64_t> m_pendingTimeParPixel;
    std::optional<std::int64_t> m_pendingViewportBegin;
    std::optional<std::int64_t> m_pendingLastTime;

    std::int64_t m_cursorTime = 0;
    std::array<std::uint8_t, kOptionCount> m_options{0, 1, 0, 1};
    std::unique_ptr<WaveformStyle> m_style;
};

}  // namespace qvx
