#include "QVxWinGUICommon/WaveformMonitor/TrackAreaGeometry.h"

#include "QVxCore/Presenters/WaveformLine.h"

#include <algorithm>
#include <cmath>

namespace qvx::trackarea {

AreaLayout LayoutArea(const AreaLayoutInput& in) {
    AreaLayout out;
    out.area = {0, 0, in.clientWidth, in.clientHeight - in.scrollBarHeight};
    const PixRect& a = out.area;
    out.ruler = {a.left, a.top, a.right, a.top + kRulerHeight};
    out.tracksRegion = {a.left, a.top + kRulerHeight, a.right, a.bottom - kFooterHeight};
    const int count = static_cast<int>(in.trackEnabled.size());
    const int enabled =
        std::max(1, static_cast<int>(std::count(in.trackEnabled.begin(), in.trackEnabled.end(), true)));
    int h;
    if (in.fitToHeight) {
        h = std::max(0, out.tracksRegion.Height()) / enabled;
    } else {
        out.tracksRegion.bottom = a.bottom - kFixedTracksBottomGap;
        h = count * in.sharedTrackHeight / enabled;  // the hidden tracks' room goes to the shown ones
    }
    h -= h % 2;
    out.trackHeight = h;
    int y = out.tracksRegion.top;
    for (int i = 0; i < count; ++i) {
        out.tracks.push_back({a.left, y, a.right, y + h});
        if (in.trackEnabled[static_cast<std::size_t>(i)]) {
            out.tracksRegion.bottom = std::max(out.tracksRegion.bottom, y + h);
            y += h;
        }
    }
    const PixRect& r = out.tracksRegion;
    out.waveform = {r.left + in.labelWidth + kSplitterWidth + 1, r.top + 1, r.right - 1, r.bottom - 1};
    out.footer = {a.left, r.bottom, a.right, r.bottom + kFooterHeight};
    return out;
}

int NeededClientHeight(const AreaLayoutInput& in) {
    const int count = static_cast<int>(in.trackEnabled.size());
    const int shown = static_cast<int>(std::count(in.trackEnabled.begin(), in.trackEnabled.end(), true));
    int h = in.fitToHeight ? kMinFitTrackHeight : count * in.sharedTrackHeight / std::max(1, shown);
    h -= h % 2;
    return kRulerHeight + shown * h + kFooterHeight + in.scrollBarHeight;
}

TrackLayout LayoutTrack(const PixRect& track, int labelWidth, bool analogUsage, bool verticalDivisions) {
    TrackLayout out;
    out.track = track;
    const int buttonLeft = track.right - 30 - (verticalDivisions ? 70 : 0);
    out.settingsButton = {buttonLeft, track.top, buttonLeft + 30, track.top + 30};
    out.splitter = {labelWidth, track.top, labelWidth + kSplitterWidth, track.bottom};
    out.waveform = {labelWidth + kSplitterWidth, track.top + 1, track.right, track.bottom - 1};
    if (analogUsage) {
        out.waveform.top += 30;
        out.waveform.bottom -= 18;
    } else {
        out.waveform.top += 25;
        out.waveform.bottom -= 5;
    }
    return out;
}

PixRect TrackBorderHandle(const TrackLayout& track) {
    const int bottom = track.track.bottom;
    return {track.track.left, bottom - kBorderGrip, track.splitter.left, bottom + kBorderGrip + 1};
}

PixRect ZeroHandleRect(const PixRect& waveform, int zeroRow) {
    const int top = waveform.top + zeroRow - 15;
    return {waveform.left, top, waveform.left + 20, top + 30};
}

int ChooseTimeUnit(bool analogUsage, std::int64_t timeParPixel, int settingsUnit) {
    if (!analogUsage) return settingsUnit;
    const std::int64_t d = timeParPixel * kDivisionPixels;
    if (d < 1000) return 3;
    if (d >= 1'000'000'000) return 0;
    if (d >= 1'000'000) return 1;
    return 2;
}

std::int64_t TimeToX(std::int64_t t, std::int64_t begin, std::int64_t timeParPixel, int waveLeft) {
    return (t - begin) / timeParPixel + waveLeft;
}

std::int64_t XToTime(int x, std::int64_t begin, std::int64_t timeParPixel, int waveLeft) {
    return static_cast<std::int64_t>(x - waveLeft) * timeParPixel + begin;
}

namespace {

// The multiple of `step` at or below `t` (also for negative t).
std::int64_t FloorToMultiple(std::int64_t t, std::int64_t step) {
    const std::int64_t r = t % step;
    return r < 0 ? t - r - step : t - r;
}

}  // namespace

TimeGrid MakeTimeGrid(std::int64_t begin, std::int64_t timeParPixel, int waveLeft, int waveRight,
                      std::int64_t origin) {
    TimeGrid grid;
    const std::int64_t d = timeParPixel * kDivisionPixels;
    grid.division = d;
    const int count = std::max(0, waveRight - waveLeft) / kDivisionPixels + 1;
    // Lines are placed in the time counted from `origin` (u = t + origin) and told in t.
    std::int64_t u = FloorToMultiple(begin + origin, d) + d;
    for (int i = 0; i < count; ++i, u += d) {
        const std::int64_t t = u - origin;
        const std::int64_t x = TimeToX(t, begin, timeParPixel, waveLeft);
        if (x < waveRight) grid.lines.push_back({static_cast<int>(x), t, u % (5 * d) == 0});
    }
    grid.leadingMajorTime = FloorToMultiple(begin + origin, 5 * d) - origin;
    grid.leadingMajorX = static_cast<int>(TimeToX(grid.leadingMajorTime, begin, timeParPixel, waveLeft));
    return grid;
}

int ReadoutX(int anchorX, int textWidth, int rightEdge) {
    return anchorX + 4 + textWidth <= rightEdge ? anchorX + 4 : anchorX - 4 - textWidth;
}

int ReadoutXClearOf(int anchorX, int textWidth, int leftEdge, int rightEdge, int blockLeft, int blockRight) {
    const auto fits = [&](int x) {
        const bool inside = x >= leftEdge && x + textWidth <= rightEdge;
        const bool clear = blockLeft >= blockRight || x + textWidth <= blockLeft || x >= blockRight;
        return inside && clear;
    };
    for (const int x : {anchorX + 4, anchorX - 4 - textWidth, blockRight + 4, blockLeft - 4 - textWidth}) {
        if (fits(x)) return x;
    }
    return ReadoutX(anchorX, textWidth, rightEdge);
}

Color Tint(const Color& custom, const Color& base, int wc, int wb) {
    if (!custom.IsSet()) return base;
    auto mix = [&](std::uint8_t c, std::uint8_t b) {
        return static_cast<std::uint8_t>((c * wc + b * wb) / 255);
    };
    return Color(mix(custom.r, base.r), mix(custom.g, base.g), mix(custom.b, base.b), 255);
}

std::vector<Division> VerticalDivisions(int top, int bottom, double offset, double scaling) {
    std::vector<Division> out;
    const int span = bottom - 19 - (top + 31);
    const int step = span / 10;
    if (step <= 0) return out;  // a track too low for divisions
    int number = static_cast<int>(std::trunc(span * offset * scaling / step)) - 5;
    for (int i = 0, y = top + 30; i < 11; ++i, y += step, ++number) out.push_back({y, number});
    return out;
}

double OffsetAfterDrag(double startOffset, int dy, double pixelScale, double scaling, std::int64_t rangeLow,
                       std::int64_t rangeHigh) {
    const double pixelsPerRange = pixelScale * scaling * static_cast<double>(rangeHigh - rangeLow);
    if (pixelsPerRange <= 0) return startOffset;
    return startOffset - dy / pixelsPerRange;
}

ScrollBarState ToScrollBar(bool enabled, std::uint64_t total, std::uint64_t page, std::uint64_t position) {
    ScrollBarState s;
    s.total = total;
    s.enabled = enabled && total > page;
    if (!s.enabled) return s;
    std::uint64_t range = total;
    const bool atEnd = position >= total - page;  // truncation must not leave the thumb short of the end
    if (total > static_cast<std::uint64_t>(kScrollBarLimit)) {
        s.scaled = true;
        range = kScrollBarLimit;
        const double k = static_cast<double>(kScrollBarLimit) / static_cast<double>(total);
        page = static_cast<std::uint64_t>(static_cast<double>(page) * k);
        position = static_cast<std::uint64_t>(static_cast<double>(position) * k);
    }
    s.page = static_cast<int>(std::min<std::uint64_t>(page, range));
    s.maximum = static_cast<int>(range - static_cast<std::uint64_t>(s.page));
    s.position =
        atEnd ? s.maximum
              : static_cast<int>(std::min<std::uint64_t>(position, static_cast<std::uint64_t>(s.maximum)));
    return s;
}

std::uint64_t FromScrollBar(const ScrollBarState& bar, int track, std::uint64_t horizontalMaximum) {
    if (track <= 0) return 0;
    if (track >= bar.maximum) return horizontalMaximum;
    std::uint64_t p;
    if (bar.scaled) {
        p = static_cast<std::uint64_t>(static_cast<double>(bar.total) * track /
                                       static_cast<double>(kScrollBarLimit));
    } else {
        p = static_cast<std::uint64_t>(track);
    }
    return std::min(p, horizontalMaximum);
}

void BuildTrackPolyline(const WaveformLine& line, int waveLeft, int waveRight, std::int64_t lastTime,
                        std::int64_t begin, std::int64_t timeParPixel,
                        const std::function<int(std::int64_t)>& valueToY, std::vector<PolyPoint>& out) {
    out.clear();
    if (line.BeforeColumn().valid) out.push_back({waveLeft - 1, valueToY(line.BeforeColumn().last.value)});
    std::int64_t newestLast = -1;
    const auto& bins = line.Columns();
    for (std::size_t c = 0; c < bins.size(); ++c) {
        const WaveformBin& bin = bins[c];
        if (!bin.valid) continue;
        const int x = waveLeft + static_cast<int>(c);
        int top = valueToY(bin.maxValue);
        int bottom = valueToY(bin.minValue);
        if (!out.empty()) {
            const int p = out.back().y;
            out.push_back({x, p});
            top = std::min(p, top);
            bottom = std::max(p, bottom);
        }
        out.push_back({x, top});
        out.push_back({x, bottom});
        out.push_back({x, valueToY(bin.last.value)});
        newestLast = std::max(newestLast, bin.last.time);
    }
    if (out.empty()) return;
    if (line.AfterColumn().valid) {
        out.push_back({waveRight + 1, out.back().y});
    } else if (newestLast < lastTime) {
        const std::int64_t x = TimeToX(lastTime, begin, timeParPixel, waveLeft);
        out.push_back(
            {static_cast<int>(std::clamp<std::int64_t>(x, waveLeft - 1, waveRight + 1)), out.back().y});
    }
}

}  // namespace qvx::trackarea
