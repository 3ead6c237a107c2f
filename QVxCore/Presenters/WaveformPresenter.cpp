#include "QVxCore/Presenters/WaveformPresenter.h"

#include "QVxCore/Utils.h"
#include "QVxCore/WaveformVisualSettings.h"

#include <algorithm>

namespace qvx {

WaveformPresenter::WaveformPresenter(WaveformVisualSettings* visualSettings, TrackPresenterFactory factory,
                                     WaveformUsage usage)
    : m_visualSettings(visualSettings), m_usage(usage), m_constructionThreadId(std::this_thread::get_id()) {
    if (!QVX_VERIFY(visualSettings)) {
        // Keep the presenter usable (and every pointer valid) with default settings.
        m_fallbackSettings = std::make_unique<WaveformVisualSettings>();
        m_visualSettings = m_fallbackSettings.get();
    }
    if (m_visualSettings->timeScale <= 0) {
        QVX_VERIFY(m_visualSettings->timeScale > 0);
        m_visualSettings->timeScale = 1'000'000;
    }
    m_style = std::make_unique<WaveformStyle>(this);
    const std::int64_t tpp = m_visualSettings->timeScale;
    m_writingRenderData = MakeRenderData(true, tpp);
    m_readingRenderData = MakeRenderData(false, tpp);
    for (int channel = 0; channel < kTrackCount; ++channel) {
        std::unique_ptr<WaveformTrackPresenter> track = factory ? factory(this, channel) : nullptr;
        if (!track) track = std::make_unique<WaveformTrackPresenter>(this, channel);
        m_writingRenderData->AddLine(track.get());
        m_readingRenderData->AddLine(track.get());
        m_trackPresenters.push_back(std::move(track));
    }
    m_readingRenderData->CopyFrom(*m_writingRenderData);
}

WaveformPresenter::~WaveformPresenter() = default;

std::unique_ptr<WaveformRenderData> WaveformPresenter::MakeRenderData(bool writingSide,
                                                                      std::int64_t timeParPixel) {
    return std::make_unique<WaveformRenderData>(this, writingSide, timeParPixel);
}

bool WaveformPresenter::CheckThread() const {
    return QVX_VERIFY(std::this_thread::get_id() == m_constructionThreadId);
}

const WaveformRenderData& WaveformPresenter::GetPaintRenderData() const {
    return IsStoredData() ? *m_writingRenderData : *m_readingRenderData;
}

void WaveformPresenter::SetOption(std::size_t i, std::uint8_t value) {
    QVX_CHECK(i < m_options.size());
    m_options[i] = value;
}

void WaveformPresenter::SetupForStoredData() {
    if (!CheckThread()) return;
    {
        std::unique_lock lock(m_lock);
        m_storedData = 1;
        m_adhocRenderData.reset();
        m_adhocBehind = false;
    }
    // Values queued during a trace that ended without another batch.
    ApplyPendingViewportChanges();
    m_writingRenderData->ResetAll();
    m_writingRenderData->AttemptLoadData();
    ViewportChanged.Emit();
}

void WaveformPresenter::SetupForAdhocData() {
    if (!CheckThread()) return;
    {
        std::unique_lock lock(m_lock);
        m_storedData = 0;
        const std::int64_t tpp = m_visualSettings->timeScale;
        m_writingRenderData->ResetToEmpty(tpp);
        m_readingRenderData->CopyFrom(*m_writingRenderData);
        m_adhocRenderData = MakeRenderData(true, tpp);
        for (auto& track : m_trackPresenters) m_adhocRenderData->AddLine(track.get());
        m_adhocRenderData->CopyFrom(*m_writingRenderData);
        m_adhocBehind = false;
    }
    for (auto& marker : m_visualSettings->markers) {
        marker.enabled = false;
        marker.time = 0;
    }
    m_markerValueCache = {};
    ViewportChanged.Emit();
}

void WaveformPresenter::ApplyPendingViewportChanges() {
    std::optional<std::int64_t> lastTime, begin, width, tpp;
    {
        std::lock_guard lock(m_pendingMutex);
        lastTime = std::exchange(m_pendingLastTime, std::nullopt);
        begin = std::exchange(m_pendingViewportBegin, std::nullopt);
        width = std::exchange(m_pendingViewportWidth, std::nullopt);
        tpp = std::exchange(m_pendingTimeParPixel, std::nullopt);
    }
    WaveformRenderData* sides[] = {m_writingRenderData.get(), m_adhocRenderData.get()};
    for (WaveformRenderData* side : sides) {
        if (!side) continue;
        if (lastTime) side->UpdateLastTime(*lastTime);
        if (begin) side->SetViewportBeginTimeOffset(*begin);
        if (width) side->ResetViewportWidth(*width);
        if (tpp) side->ResetViewportScale(*tpp);
    }
    if (tpp) {
        m_writingRenderData->ResetAll();
        m_writingRenderData->AttemptLoadData();
    }
}

void WaveformPresenter::ResetViewportScale(std::int64_t timeParPixel) {
    if (!CheckThread()) return;
    QVX_CHECK(timeParPixel > 0);
    m_visualSettings->timeScale = timeParPixel;
    {
        std::lock_guard lock(m_pendingMutex);
        m_pendingTimeParPixel = timeParPixel;
    }
    if (IsStoredData()) ApplyPendingViewportChanges();
    ScaleChanged.Emit();
}

void WaveformPresenter::ResetViewportWidth(std::int64_t columns) {
    if (!CheckThread()) return;
    QVX_CHECK(columns >= 0);
    {
        std::lock_guard lock(m_pendingMutex);
        m_pendingViewportWidth = columns;
    }
    if (IsStoredData()) ApplyPendingViewportChanges();
}

void WaveformPresenter::SetViewportBeginTimeOffset(std::int64_t t) {
    if (!CheckThread()) return;
    {
        std::lock_guard lock(m_pendingMutex);
        m_pendingViewportBegin = t;
    }
    if (IsStoredData()) ApplyPendingViewportChanges();
    ViewportChanged.Emit();
}

void WaveformPresenter::UpdateLastTime(std::int64_t t) {
    if (!CheckThread()) return;
    {
        std::lock_guard lock(m_pendingMutex);
        m_pendingLastTime = t;
    }
    if (IsStoredData()) ApplyPendingViewportChanges();
}

void WaveformPresenter::UpdateCursorTime(std::int64_t time) {
    if (!CheckThread()) return;
    if (!IsStoredData()) return;
    QVX_CHECK(time >= 0);
    m_cursorTime = std::min(time, m_writingRenderData->GetLastTime());
    for (auto& track : m_trackPresenters) {
        std::int64_t value = 0;
        const bool read =
            OnReadData(track->GetChannelIndex(), m_cursorTime, WaveformReadMode::kRecordAtTime, &value);
        track->SetCursorValue(value, read);
    }
}

void WaveformPresenter::ReadMarkerValues(int marker) {
    const auto m = static_cast<std::size_t>(marker);
    const std::int64_t time = m_visualSettings->markers[m].time;
    for (std::size_t c = 0; c < WaveformMarkerValueCache::kChannels; ++c) {
        std::int64_t value = 0;
        const bool read = OnReadData(static_cast<int>(c), time, WaveformReadMode::kRecordAtTime, &value);
        m_markerValueCache.values[m][c] = read ? value : 0;
        m_markerValueCache.valid[m][c] = read;
    }
}

void WaveformPresenter::SetMarkerTime(int marker, std::int64_t time) {
    if (!CheckThread()) return;
    QVX_CHECK(marker >= 0 && marker < kMarkerCount);
    auto& settings = m_visualSettings->markers[static_cast<std::size_t>(marker)];
    settings.enabled = true;
    settings.time = time;
    if (IsStoredData()) ReadMarkerValues(marker);
    ViewportChanged.Emit();
}

void WaveformPresenter::SetMarkerEnabled(int marker, bool enabled) {
    if (!CheckThread()) return;
    QVX_CHECK(marker >= 0 && marker < kMarkerCount);
    m_visualSettings->markers[static_cast<std::size_t>(marker)].enabled = enabled;
    ViewportChanged.Emit();
}

void WaveformPresenter::SetTimeUnit(TimeDisplayUnit unit) {
    if (!CheckThread()) return;
    QVX_CHECK(IsValid(unit));
    if (m_visualSettings->timeUnit == unit) return;
    m_visualSettings->timeUnit = unit;
    ViewportChanged.Emit();
    TimeUnitChanged.Emit(static_cast<std::uint64_t>(unit));
}

void WaveformPresenter::FetchRenderData() {
    if (!CheckThread()) return;
    if (IsStoredData()) return;
    std::shared_lock lock(m_lock);
    if (!m_adhocRenderData) return;
    m_readingRenderData->CopyFrom(m_adhocBehind ? *m_writingRenderData : *m_adhocRenderData);
}

WaveformPresenter::WriteBatch::WriteBatch(WaveformPresenter& presenter, bool publishesAtEnd)
    : m_presenter(presenter) {
    if (!presenter.IsStoredData()) {
        m_lock = std::unique_lock(presenter.m_lock);
        if (presenter.m_adhocBehind && !publishesAtEnd && presenter.m_adhocRenderData) {
            presenter.m_adhocRenderData->CopyFrom(*presenter.m_writingRenderData);
            presenter.m_adhocBehind = false;
        }
        presenter.ApplyPendingViewportChanges();
    }
    presenter.m_writableLocked = true;
}

WaveformPresenter::WriteBatch::~WriteBatch() {
    m_presenter.m_writableLocked = false;
}

void WaveformPresenter::WriteBatch::PublishAdhoc() {
    if (m_lock.owns_lock() && m_presenter.m_adhocRenderData) m_presenter.m_adhocBehind = true;
}

}  // namespace qvx
