#pragma once
// One channel's track of the waveform view: where its values land vertically.
// GUI thread only.

#include "QVxCore/Presenters/WaveformGeometry.h"

#include <cstdint>
#include <string>

namespace qvx {

class WaveformPresenter;
struct WaveformTrackVisualSettings;

class WaveformTrackPresenter {
public:
    static constexpr double kMinVerticalScaling = 0.0625;
    static constexpr double kMaxVerticalScaling = 64.0;

    WaveformTrackPresenter(WaveformPresenter* presenter, int channelIndex);
    virtual ~WaveformTrackPresenter();

    // The track's `name` from the visual settings as UTF-8 (empty without settings).
    virtual std::string GetTrackName() const;

    WaveformPresenter* GetPresenter() const { return m_presenter; }
    int GetChannelIndex() const { return m_channelIndex; }
    // This channel's visual settings, or null when the settings hold no such track.
    WaveformTrackVisualSettings* GetVisualSettings() const;

    int GetHeight() const { return m_height; }
    void SetHeight(int height) { m_height = height; }
    double GetPixelScale() const { return m_pixelScale; }
    void SetPixelScale(double pixelScale) { m_pixelScale = pixelScale; }
    std::int64_t GetRangeLow() const { return m_rangeLow; }
    std::int64_t GetRangeHigh() const { return m_rangeHigh; }
    // low < high, else the failed check is logged and nothing changes.
    void SetRange(std::int64_t low, std::int64_t high);
    waveform::TrackPlacement GetPlacementMode() const { return m_placementMode; }
    // A number that is no placement is refused.
    void SetPlacementMode(waveform::TrackPlacement mode);

    std::int64_t GetCursorValue() const { return m_cursorValue; }
    bool HasCursorValue() const { return m_hasCursorValue; }
    void SetCursorValue(std::int64_t value, bool valid);

    // Sets the track's `verticalScaling`, clamped to [1/16, 64]; the vertical offset
    // is divided by the same change ratio so that the zero line keeps its place.
    void SetVerticalScaling(double scaling);

    // The geometry of this track: own layout values plus the visual settings.
    waveform::TrackGeometry Geometry() const;
    // Pixel row (0 at the track's top) of a value.
    int ValueToY(std::int64_t value) const;

private:
    WaveformPresenter* m_presenter;
    int m_channelIndex;
    int m_height = -1;
    double m_pixelScale = 1.0;
    std::int64_t m_rangeLow = -1;
    std::int64_t m_rangeHigh = 1;
    waveform::TrackPlacement m_placementMode = waveform::TrackPlacement::kCentred;
    std::int64_t m_cursorValue = 0;
    bool m_hasCursorValue = false;
};

// UTF-8 form of a wide (UTF-32 on Linux) string; invalid code points become U+FFFD.
std::string WideToUtf8(const std::wstring& text);

}  // namespace qvx
