#include "QVxCore/Presenters/WaveformTrackPresenter.h"

#include "QVxCore/Presenters/WaveformPresenter.h"
#include "QVxCore/Utils.h"
#include "QVxCore/WaveformVisualSettings.h"

#include <algorithm>

namespace qvx {

WaveformTrackPresenter::WaveformTrackPresenter(WaveformPresenter* presenter, int channelIndex)
    : m_presenter(presenter), m_channelIndex(channelIndex) {}

WaveformTrackPresenter::~WaveformTrackPresenter() = default;

WaveformTrackVisualSettings* WaveformTrackPresenter::GetVisualSettings() const {
    WaveformVisualSettings* settings = m_presenter ? m_presenter->GetVisualSettings() : nullptr;
    if (!settings || m_channelIndex < 0 ||
        static_cast<std::size_t>(m_channelIndex) >= settings->tracks.size()) {
        return nullptr;
    }
    return &settings->tracks[static_cast<std::size_t>(m_channelIndex)];
}

std::string WaveformTrackPresenter::GetTrackName() const {
    const WaveformTrackVisualSettings* track = GetVisualSettings();
    return track ? WideToUtf8(track->name) : std::string();
}

void WaveformTrackPresenter::SetRange(std::int64_t low, std::int64_t high) {
    QVX_CHECK(low < high);
    m_rangeLow = low;
    m_rangeHigh = high;
}

void WaveformTrackPresenter::SetPlacementMode(waveform::TrackPlacement mode) {
    QVX_CHECK(mode >= waveform::TrackPlacement::kCentred && mode <= waveform::TrackPlacement::kFromRangeLow);
    m_placementMode = mode;
}

void WaveformTrackPresenter::SetCursorValue(std::int64_t value, bool valid) {
    m_cursorValue = valid ? value : 0;
    m_hasCursorValue = valid;
}

void WaveformTrackPresenter::SetVerticalScaling(double scaling) {
    WaveformTrackVisualSettings* track = GetVisualSettings();
    QVX_CHECK(track);
    QVX_CHECK(scaling > 0.0);
    const double clamped = std::clamp(scaling, kMinVerticalScaling, kMaxVerticalScaling);
    const double old = track->verticalScaling > 0.0 ? track->verticalScaling : 1.0;
    track->verticalResolutionOffset /= clamped / old;
    track->verticalScaling = clamped;
}

waveform::TrackGeometry WaveformTrackPresenter::Geometry() const {
    waveform::TrackGeometry g;
    g.height = m_height;
    g.pixelScale = m_pixelScale;
    g.rangeLow = m_rangeLow;
    g.rangeHigh = m_rangeHigh;
    g.placementMode = m_placementMode;
    if (const WaveformTrackVisualSettings* track = GetVisualSettings()) {
        g.verticalScaling = track->verticalScaling;
        g.verticalResolutionOffset = track->verticalResolutionOffset;
    }
    return g;
}

int WaveformTrackPresenter::ValueToY(std::int64_t value) const {
    return waveform::ValueToRow(value, Geometry());
}

std::string WideToUtf8(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t wc : text) {
        auto c = static_cast<std::uint32_t>(wc);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace qvx
