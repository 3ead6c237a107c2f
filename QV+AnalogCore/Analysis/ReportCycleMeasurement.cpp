#include "QV+AnalogCore/Analysis/ReportCycleMeasurement.h"

#include "QV+AnalogCore/Analysis/ReportLevelScan.h"
#include "QV+AnalogCore/Analysis/ReportSpanMeasurement.h"
#include "QV+AnalogCore/Export/ReportRecordWalk.h"
#include "QV+AnalogCore/Export/ReportSpan.h"
#include "QVxCore/ReportData/RecordCodec.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportOverview.h"
#include "QVxCore/ReportData/ReportOverviewFormat.h"

#include <algorithm>
#include <cmath>
#include <exception>

namespace qvx::analog {

namespace {

constexpr std::array<std::string_view, kCycleParameterCount> kNames = {
    "period-ns", "frequency-hz", "high-ns",      "low-ns",  "duty-percent",
    "min-mv",    "max-mv",       "amplitude-mv", "rise-ns", "fall-ns"};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A record: time in ns and limited converter code.
struct Point {
    std::int64_t t = 0;
    std::int32_t v = 0;
};

// The time at which the straight line from `a` to `b` (a earlier) reaches code `x`, within
// [a.t, b.t].
double Interpolate(const Point& a, const Point& b, double x) {
    if (b.v == a.v) return static_cast<double>(a.t);
    const double f = std::clamp((x - a.v) / static_cast<double>(b.v - a.v), 0.0, 1.0);
    return static_cast<double>(a.t) + f * static_cast<double>(b.t - a.t);
}

// The records of one phase (high or low) that can answer "first / last record at or
// beyond a code" once the code is known, kept small: a prefix list holds the records that
// beat every earlier one (a running maximum or minimum), a suffix list those that beat every
// later one. A skipped block enters as one entry with its extreme; it is read only when the
// answer lies inside it.
class EdgeList {
public:
    enum class Kind { kPrefixMax, kPrefixMin, kSuffixMax, kSuffixMin };

    struct Entry {
        std::uint64_t first = 0;  // global indexes [first, end)
        std::uint64_t end = 0;
        std::int32_t value = 0;  // the record's code or the block's extreme
        bool block = false;
        Point point;  // records only
    };

    explicit EdgeList(Kind kind) : m_kind(kind) {}

    void Clear() { m_entries.clear(); }
    bool Empty() const { return m_entries.empty(); }

    void AddRecord(std::uint64_t index, const Point& p) { Add(Entry{index, index + 1, p.v, false, p}); }
    void AddBlock(std::uint64_t first, std::uint64_t end, std::int32_t min, std::int32_t max) {
        Add(Entry{first, end, IsMax() ? max : min, true, {}});
    }

    // The entry holding the first (prefix kinds) or last (suffix kinds) record at or above
    // `x` (max kinds) or at or below it (min kinds); null when the phase has none.
    const Entry* Find(double x) const {
        if (IsPrefix()) {
            for (const Entry& e : m_entries)
                if (Reaches(e.value, x)) return &e;
        } else {
            for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it)
                if (Reaches(it->value, x)) return &*it;
        }
        return nullptr;
    }

    bool IsPrefix() const { return m_kind == Kind::kPrefixMax || m_kind == Kind::kPrefixMin; }
    bool IsMax() const { return m_kind == Kind::kPrefixMax || m_kind == Kind::kSuffixMax; }
    bool Reaches(std::int32_t v, double x) const { return IsMax() ? v >= x : v <= x; }

private:
    bool Beats(std::int32_t v, std::int32_t than) const { return IsMax() ? v > than : v < than; }

    void Add(const Entry& e) {
        if (IsPrefix()) {
            if (m_entries.empty() || Beats(e.value, m_entries.back().value)) m_entries.push_back(e);
            return;
        }
        while (!m_entries.empty() && !Beats(m_entries.back().value, e.value)) m_entries.pop_back();
        m_entries.push_back(e);
    }

    Kind m_kind;
    std::vector<Entry> m_entries;
};

// The few records looked up around one edge (its 10 % and 90 % points and their
// neighbours) come from a window held here: the records asked for and 64 on each side (a
// lookup asks for at most one 64-record overview block), so that a point and its neighbour
// cost one read instead of two. The margin stays inside what the level scan's read-ahead
// hints around an edge, so a cold lookup does not wait for a page of its own. A lookup the
// window cannot serve, or whose window could not be read whole, is read directly, so a read
// error is the one the records themselves give. Runs on the scanning thread.
class NearbyRecords {
public:
    static constexpr std::uint64_t kMarginRecords = 64;
    static constexpr std::uint64_t kMostRecords = 64;  // per lookup served from a window

    NearbyRecords(ReportRecordWalk& walk, const std::vector<IndexRange>& files)
        : m_walk(walk), m_files(files) {}

    // The records [first, end), which lie in one file, as ReportRecordWalk::ReadRange.
    WalkResult Read(std::uint64_t first, std::uint64_t end, const ChunkConsumer& consume) {
        if (!Holds(first, end) && !Load(first, end)) return m_walk.ReadRange(first, end, consume);
        RecordChunk chunk;
        chunk.records = m_buffer.data() + (first - m_window.first) * kReportRecordSize;
        chunk.count = end - first;
        chunk.firstIndex = first;
        chunk.timeWord = m_timeWord;
        const bool more = consume(chunk);
        return {more ? WalkOutcome::kDone : WalkOutcome::kStopped, chunk.count, 0};
    }

private:
    bool Holds(std::uint64_t first, std::uint64_t end) const {
        return first >= m_window.first && end <= m_window.end;
    }

    bool Load(std::uint64_t first, std::uint64_t end) {
        const auto file = std::upper_bound(m_files.begin(), m_files.end(), first,
                                           [](std::uint64_t i, const IndexRange& f) { return i < f.end; });
        if (file == m_files.end() || first < file->first) return false;
        if (end - first > kMostRecords || end > file->end) return false;
        const IndexRange window{std::max(file->first, first - std::min(first, kMarginRecords)),
                                std::min(file->end, end + kMarginRecords)};
        m_window = {};
        m_buffer.clear();
        const WalkResult read = m_walk.ReadRange(window.first, window.end, [&](const RecordChunk& chunk) {
            m_buffer.insert(m_buffer.end(), chunk.records, chunk.records + chunk.count * kReportRecordSize);
            m_timeWord = chunk.timeWord;
            return true;
        });
        if (read.outcome != WalkOutcome::kDone ||
            m_buffer.size() != (window.end - window.first) * kReportRecordSize)
            return false;
        m_window = window;
        return true;
    }

    ReportRecordWalk& m_walk;
    const std::vector<IndexRange>& m_files;  // in index order
    IndexRange m_window;
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_timeWord = 0;
};

struct Phase {
    EdgeList prefix;
    EdgeList suffix;

    explicit Phase(bool high)
        : prefix(high ? EdgeList::Kind::kPrefixMax : EdgeList::Kind::kPrefixMin),
          suffix(high ? EdgeList::Kind::kSuffixMax : EdgeList::Kind::kSuffixMin) {}
    void Clear() {
        prefix.Clear();
        suffix.Clear();
    }
    void AddRecord(std::uint64_t index, const Point& p) {
        prefix.AddRecord(index, p);
        suffix.AddRecord(index, p);
    }
    void AddBlock(std::uint64_t first, std::uint64_t end, std::int32_t min, std::int32_t max) {
        prefix.AddBlock(first, end, min, max);
        suffix.AddBlock(first, end, min, max);
    }
};

class CycleScanner {
public:
    CycleScanner(ReportDataReader& reader, ReportOverview* overview, const AnalogSettings& settings,
                 const CycleRequest& request, double hysteresisMv, CycleResult& result,
                 const CycleConsumer& onCycle)
        : m_reader(reader),
          m_overview(overview),
          m_lookup(reader, ReportLevelScan::kChunkRecords, ReportRecordWalk::Unreadable::kChunk),
          m_request(request),
          m_result(result),
          m_onCycle(onCycle),
          m_channel(static_cast<std::size_t>(request.channel)) {
        m_fullScaleMv = settings.GetChannelRangeMilliVolts(request.channel);
        const double codesPerMv = kRawSampleMax / (2.0 * m_fullScaleMv);
        m_levelCode = request.levelMv * codesPerMv + kRawSampleMax / 2.0;
        const double halfBand = hysteresisMv * codesPerMv / 2.0;
        m_riseAbove = static_cast<std::int64_t>(std::floor(m_levelCode + halfBand));
        m_fallBelow = static_cast<std::int64_t>(std::ceil(m_levelCode - halfBand));
        for (const auto& file : reader.GetFiles())
            if (file && !file->IsPlaceholder() && file->GetRecordCount() > 0)
                m_files.push_back({file->GetFirstIndex(), file->GetFirstIndex() + file->GetRecordCount()});
    }

    // Skips blocks that cannot leave the band towards the other state: "above" blocks have
    // no sample below the falling threshold, "below" blocks none above the rising one.
    ReportLevelScan::Levels ScanLevels() const { return {m_fallBelow - 1, m_riseAbove + 1}; }

    bool CanSkip(bool above) const {
        return (above && m_state == State::kHigh) || (!above && m_state == State::kLow);
    }

    void Skipped(std::uint16_t min, std::uint16_t max, std::uint64_t first, std::uint64_t end) {
        m_pendingRecords += end - first;
        m_skipped.push_back({first, end});
        if (m_open) {
            m_min = std::min<std::int32_t>(m_min, min);
            m_max = std::max<std::int32_t>(m_max, max);
        }
        Current().AddBlock(first, end, min, max);
    }

    // false when a lookup read failed or the consumer stopped.
    bool Records(const RecordChunk& chunk) {
        m_chunk = &chunk;
        for (std::uint64_t r = 0; r < chunk.count; ++r) {
            const std::uint8_t* record = chunk.records + r * kReportRecordSize;
            const Point p{RecordTimeNs(record, chunk.timeWord),
                          static_cast<std::int32_t>(LimitedSample(RecordRawSample(record, m_channel)))};
            if (!Record(chunk.firstIndex + r, p)) {
                m_chunk = nullptr;
                return false;
            }
        }
        m_chunk = nullptr;
        return true;
    }

    bool Failed() const { return m_failed; }

private:
    enum class State { kUnknown, kLow, kHigh };

    struct OpenCycle {
        double riseNs = 0;
        std::optional<double> fallNs;
    };

    Phase& Current() { return m_state == State::kHigh ? m_high : m_low; }

    bool Record(std::uint64_t index, const Point& p) {
        if (!m_last) {
            StartSegment(p.t);
        } else if (const std::uint64_t records = m_pendingRecords + 1; IsGap(m_last->t, p.t, records)) {
            bool restarted = false;
            if (!m_skipped.empty() && !ReplayAfterGap(restarted)) return false;
            if (!restarted) {
                Restart();
                StartSegment(p.t);
            }
        } else {
            m_segmentRecords += records;
        }
        m_skipped.clear();
        return Process(index, p);
    }

    // A gap was found after skipped blocks: it may lie inside them. Their records are read,
    // and those after the gap are taken afresh, so that the state after a gap does not
    // depend on where the overview's blocks begin. Only at gaps.
    bool ReplayAfterGap(bool& restarted) {
        const std::vector<IndexRange> ranges = std::move(m_skipped);
        m_skipped.clear();
        std::int64_t previous = m_last->t;
        for (const IndexRange& range : ranges) {
            const WalkResult read = m_lookup.ReadRange(range.first, range.end, [&](const RecordChunk& chunk) {
                for (std::uint64_t r = 0; r < chunk.count; ++r) {
                    const std::uint8_t* record = chunk.records + r * kReportRecordSize;
                    const Point q{
                        RecordTimeNs(record, chunk.timeWord),
                        static_cast<std::int32_t>(LimitedSample(RecordRawSample(record, m_channel)))};
                    if (!restarted && IsGap(previous, q.t, 1)) {
                        Restart();
                        StartSegment(q.t);
                        restarted = true;
                    } else {
                        ++m_segmentRecords;
                    }
                    previous = q.t;
                    if (restarted && !Process(chunk.firstIndex + r, q)) return false;
                }
                return true;
            });
            if (read.outcome != WalkOutcome::kDone) {
                m_failed = true;
                return false;
            }
        }
        return true;
    }

    // The records since the last gap (or the start) give the mean record interval: a step
    // from `lastNs` to `ns` over `records` records is a gap when it is longer than those
    // records take by more than 1 %, half an interval and a 10 ns tick (time stamps of a
    // rate that is no whole number of ticks step unevenly).
    bool IsGap(std::int64_t lastNs, std::int64_t ns, std::uint64_t records) const {
        if (m_segmentRecords == 0) return false;
        const double mean =
            static_cast<double>(lastNs - m_segmentStartNs) / static_cast<double>(m_segmentRecords);
        const double expected = static_cast<double>(records) * mean;
        return static_cast<double>(ns - lastNs) > expected * 1.01 + mean / 2 + kNanosecondsPerTick;
    }

    void StartSegment(std::int64_t ns) {
        m_segmentStartNs = ns;
        m_segmentRecords = 0;
    }

    bool Process(std::uint64_t index, const Point& p) {
        m_last = p;
        m_pendingRecords = 0;

        if (m_state != State::kHigh && p.v > m_riseAbove) {
            if (m_state == State::kLow && !Rise(index, p)) return false;
            if (m_state == State::kUnknown) m_high.Clear();
            m_state = State::kHigh;
        } else if (m_state != State::kLow && p.v < m_fallBelow) {
            if (m_state == State::kHigh && !Fall(index, p)) return false;
            m_low.Clear();
            m_state = State::kLow;
        }
        if (m_open) {
            m_min = std::min(m_min, p.v);
            m_max = std::max(m_max, p.v);
        }
        if (m_state != State::kUnknown) Current().AddRecord(index, p);
        return true;
    }

    void Restart() {
        m_state = State::kUnknown;
        m_open.reset();
        m_high.Clear();
        m_low.Clear();
        m_beforeRise.Clear();
    }

    // A change from low to high at record `index`: closes the cycle in progress and opens
    // the next.
    bool Rise(std::uint64_t index, const Point& p) {
        const std::optional<double> t = CrossingTime(m_low.suffix, index, p);
        if (!t) return false;
        if (m_open && m_open->fallNs && !CloseCycle(*t)) return false;
        m_beforeRise = m_low.suffix;
        m_high.Clear();
        m_open = OpenCycle{*t, std::nullopt};
        m_min = m_max = p.v;
        return true;
    }

    bool Fall(std::uint64_t index, const Point& p) {
        const std::optional<double> t = CrossingTime(m_high.suffix, index, p);
        if (!t) return false;
        if (m_open) m_open->fallNs = *t;
        return true;
    }

    // The time the signal crossed L between the last record on the old side of it (in
    // `oldSide`, the suffix list of the phase that ends) and the record after that one.
    std::optional<double> CrossingTime(const EdgeList& oldSide, std::uint64_t index, const Point& p) {
        const auto last = Locate(oldSide, m_levelCode);
        if (!last) return std::nullopt;
        if (!last->found) return static_cast<double>(p.t);  // cannot happen: the phase began beyond L
        const std::optional<Point> next = last->index + 1 == index ? p : Neighbour(last->index, true);
        if (!next) return std::nullopt;
        return Interpolate(last->point, *next, m_levelCode);
    }

    struct Located {
        bool found = false;
        std::uint64_t index = 0;
        Point point;
    };

    // The record `list` answers for code `x`, reading a skipped block when the answer lies
    // in it; none when a read failed.
    std::optional<Located> Locate(const EdgeList& list, double x) {
        const EdgeList::Entry* e = list.Find(x);
        if (!e) return Located{};
        if (!e->block) return Located{true, e->first, e->point};
        const IndexRange block = Narrow(list, *e, x);
        Located found;
        const auto consume = [&](const RecordChunk& chunk) {
            for (std::uint64_t r = 0; r < chunk.count; ++r) {
                const std::uint8_t* record = chunk.records + r * kReportRecordSize;
                const std::int32_t v = LimitedSample(RecordRawSample(record, m_channel));
                if (!list.Reaches(v, x)) continue;
                found = {true, chunk.firstIndex + r, Point{RecordTimeNs(record, chunk.timeWord), v}};
                if (list.IsPrefix()) return false;
            }
            return true;
        };
        const std::uint64_t size = block.end - block.first;
        const WalkResult read = size <= NearbyRecords::kMostRecords
                                    ? m_nearby.Read(block.first, block.end, consume)
                                    : m_lookup.ReadRange(block.first, block.end, consume);
        if (read.outcome == WalkOutcome::kUnreadable || !found.found) {
            m_failed = true;
            return std::nullopt;
        }
        return found;
    }

    // The finest overview block inside the skipped block `e` that holds the record `list`
    // answers for `x`, found from the blocks' extremes so that a lookup reads 64 records
    // instead of up to 8,192; all of `e` without an overview or when a fold fails.
    IndexRange Narrow(const EdgeList& list, const EdgeList::Entry& e, double x) {
        constexpr std::uint64_t kStep = overview::kBlockRecords[0];
        if (!m_overview || e.end - e.first <= kStep) return {e.first, e.end};
        const auto reaches = [&](std::uint64_t a, std::uint64_t b) -> std::optional<bool> {
            const auto stats = m_overview->Fold(a, b, false);
            if (!stats) return std::nullopt;
            return list.Reaches(list.IsMax() ? stats->max[m_channel] : stats->min[m_channel], x);
        };
        if (list.IsPrefix()) {
            for (std::uint64_t a = e.first; a < e.end;) {
                const std::uint64_t b = std::min(e.end, (a / kStep + 1) * kStep);
                const auto hit = reaches(a, b);
                if (!hit) break;
                if (*hit) return {a, b};
                a = b;
            }
        } else {
            for (std::uint64_t b = e.end; b > e.first;) {
                const std::uint64_t a = std::max(e.first, (b - 1) / kStep * kStep);
                const auto hit = reaches(a, b);
                if (!hit) break;
                if (*hit) return {a, b};
                b = a;
            }
        }
        return {e.first, e.end};
    }

    // The record after (`next`) or before `index`, across a file boundary.
    std::optional<Point> Neighbour(std::uint64_t index, bool next) {
        std::optional<std::uint64_t> at;
        for (std::size_t f = 0; f < m_files.size() && !at; ++f) {
            const IndexRange& file = m_files[f];
            if (index < file.first || index >= file.end) continue;
            if (next)
                at = index + 1 < file.end     ? index + 1
                     : f + 1 < m_files.size() ? std::optional(m_files[f + 1].first)
                                              : std::nullopt;
            else
                at = index > file.first ? index - 1
                     : f > 0            ? std::optional(m_files[f - 1].end - 1)
                                        : std::nullopt;
            if (!at) break;
        }
        if (!at) {
            m_failed = true;
            return std::nullopt;
        }
        if (m_chunk && *at >= m_chunk->firstIndex && *at < m_chunk->firstIndex + m_chunk->count) {
            const std::uint8_t* record = m_chunk->records + (*at - m_chunk->firstIndex) * kReportRecordSize;
            return Point{RecordTimeNs(record, m_chunk->timeWord),
                         LimitedSample(RecordRawSample(record, m_channel))};
        }
        std::optional<Point> point;
        m_nearby.Read(*at, *at + 1, [&](const RecordChunk& chunk) {
            point = Point{RecordTimeNs(chunk.records, chunk.timeWord),
                          LimitedSample(RecordRawSample(chunk.records, m_channel))};
            return true;
        });
        if (!point) m_failed = true;
        return point;
    }

    // 10 % or 90 % point of an edge: the first (prefix list) or last (suffix list) record at
    // or beyond `x`, interpolated with its neighbour on the other side; NaN when the phase
    // has none, none when a read failed.
    std::optional<double> EdgePoint(const EdgeList& list, double x) {
        const auto at = Locate(list, x);
        if (!at) return std::nullopt;
        if (!at->found) return kNaN;
        const auto other = Neighbour(at->index, !list.IsPrefix());
        if (!other) return std::nullopt;
        return list.IsPrefix() ? Interpolate(*other, at->point, x) : Interpolate(at->point, *other, x);
    }

    bool CloseCycle(double nextRiseNs) {
        const double lo = m_min + 0.1 * (m_max - m_min);
        const double hi = m_min + 0.9 * (m_max - m_min);
        const auto rise10 = EdgePoint(m_beforeRise, lo);
        const auto rise90 = EdgePoint(m_high.prefix, hi);
        const auto fall90 = EdgePoint(m_high.suffix, hi);
        const auto fall10 = EdgePoint(m_low.prefix, lo);
        if (!rise10 || !rise90 || !fall90 || !fall10) return false;

        Cycle c;
        c.startNs = m_open->riseNs;
        const double period = nextRiseNs - m_open->riseNs;
        const double high = *m_open->fallNs - m_open->riseNs;
        const auto mv = [&](double code) { return CodeToVolts(code, m_fullScaleMv); };  // mV scale
        const auto set = [&](CycleParameter p, double v) { c.values[static_cast<std::size_t>(p)] = v; };
        set(CycleParameter::kPeriod, period);
        set(CycleParameter::kFrequency, 1e9 / period);
        set(CycleParameter::kHigh, high);
        set(CycleParameter::kLow, nextRiseNs - *m_open->fallNs);
        set(CycleParameter::kDuty, high / period * 100.0);
        set(CycleParameter::kMin, mv(m_min));
        set(CycleParameter::kMax, mv(m_max));
        set(CycleParameter::kAmplitude, mv(m_max) - mv(m_min));
        set(CycleParameter::kRise, *rise90 - *rise10);
        set(CycleParameter::kFall, *fall10 - *fall90);
        return Count(c);
    }

    bool Count(const Cycle& c) {
        const std::uint64_t number = m_result.cycles++;
        for (std::size_t i = 0; i < kCycleParameterCount; ++i) {
            const double v = c.values[i];
            if (std::isnan(v)) continue;
            CycleStatistics& s = m_result.stats[i];
            // Welford's running mean and sum of squared deviations (kept in `std` until the end).
            ++s.count;
            if (s.count == 1 || v < s.min) s.min = v, s.minCycle = number;
            if (s.count == 1 || v > s.max) s.max = v, s.maxCycle = number;
            const double delta = v - s.mean;
            s.mean += delta / static_cast<double>(s.count);
            s.std += delta * (v - s.mean);
            if (m_request.limits[i].Violated(v)) {
                ++m_result.violationsByParameter[i];
                ++m_result.violationCount;
                if (m_result.violations.size() < m_request.maxViolations)
                    m_result.violations.push_back({number, c.startNs, CycleParameterAt(i), v});
            }
        }
        return !m_onCycle || m_onCycle(number, c);
    }

    ReportDataReader& m_reader;
    ReportOverview* m_overview;  // may be null
    ReportRecordWalk m_lookup;   // reads skipped blocks and neighbours on demand
    const CycleRequest& m_request;
    CycleResult& m_result;
    const CycleConsumer& m_onCycle;
    std::size_t m_channel;
    double m_fullScaleMv = 1;
    double m_levelCode = 0;
    std::int64_t m_riseAbove = 0;  // rises when a code > this
    std::int64_t m_fallBelow = 0;  // falls when a code < this
    std::vector<IndexRange> m_files;
    NearbyRecords m_nearby{m_lookup, m_files};
    const RecordChunk* m_chunk = nullptr;
    bool m_failed = false;

    State m_state = State::kUnknown;
    std::optional<Point> m_last;         // the last record read
    std::uint64_t m_pendingRecords = 0;  // records skipped since it
    std::vector<IndexRange> m_skipped;   // the blocks skipped since it
    std::int64_t m_segmentStartNs = 0;   // the first record after the last gap
    std::uint64_t m_segmentRecords = 0;  // records since it, up to the last one read
    std::optional<OpenCycle> m_open;
    std::int32_t m_min = 0;  // codes of the open cycle
    std::int32_t m_max = 0;
    Phase m_high{true};
    Phase m_low{false};
    EdgeList m_beforeRise{EdgeList::Kind::kSuffixMin};  // the low phase before the open cycle
};

void FinishStatistics(CycleResult& result) {
    for (CycleStatistics& s : result.stats)
        s.std = s.count > 0 ? std::sqrt(s.std / static_cast<double>(s.count)) : 0.0;
}

}  // namespace

std::string_view CycleParameterName(CycleParameter parameter) {
    return kNames[static_cast<std::size_t>(parameter)];
}

std::optional<CycleParameter> CycleParameterFromName(std::string_view name) {
    for (std::size_t i = 0; i < kNames.size(); ++i)
        if (kNames[i] == name) return CycleParameterAt(i);
    return std::nullopt;
}

CycleParameter CycleParameterAt(std::size_t i) {
    return static_cast<CycleParameter>(i);
}

std::optional<std::string> CheckCycleRequest(const AnalogSettings& settings, const CycleRequest& request) {
    if (request.channel < 0 || request.channel >= AnalogSettings::kChannelCount)
        return "the channel must be 1 to 4";
    try {
        if (settings.GetChannelRangeMilliVolts(request.channel) <= 0) return "the channel's range is invalid";
    } catch (const std::exception&) {
        return "the channel's range or probe setting is invalid";
    }
    if (!std::isfinite(request.levelMv)) return "the level must be a number of mV";
    if (request.hysteresisMv && !(std::isfinite(*request.hysteresisMv) && *request.hysteresisMv >= 0))
        return "the hysteresis must be 0 mV or more";
    for (std::size_t i = 0; i < kCycleParameterCount; ++i) {
        const CycleLimit& l = request.limits[i];
        if ((l.lower && !std::isfinite(*l.lower)) || (l.upper && !std::isfinite(*l.upper)))
            return std::string("the limits of ") + std::string(kNames[i]) + " must be numbers";
        if (l.lower && l.upper && *l.lower > *l.upper)
            return std::string("the lower limit of ") + std::string(kNames[i]) + " is above its upper limit";
    }
    return std::nullopt;
}

CycleResult MeasureCycles(ReportDataReader& reader, ReportOverview* overview, const AnalogSettings& settings,
                          const CycleRequest& request, const CycleProgress& progress,
                          const CycleConsumer& onCycle) {
    CycleResult result;
    result.hysteresisMv =
        request.hysteresisMv.value_or(0.02 * settings.GetChannelRangeMilliVolts(request.channel));
    const std::optional<ReportSpan> span = SpanOfTimes(reader, overview, request.fromNs, request.toNs);
    if (!span) {
        result.status = CycleResult::Status::kReadError;
        return result;
    }
    if (span->first >= span->end) return result;

    CycleScanner scanner(reader, overview, settings, request, result.hysteresisMv, result, onCycle);
    bool stopped = false;
    ReportLevelScan scan(reader, overview, request.channel, scanner.ScanLevels());
    ReportLevelScan::Visitor visitor;
    visitor.canSkip = [&](bool above) { return scanner.CanSkip(above); };
    visitor.skippedBlock = [&](bool, std::uint16_t min, std::uint16_t max, std::uint64_t first,
                               std::uint64_t end) { scanner.Skipped(min, max, first, end); };
    visitor.records = [&](const RecordChunk& chunk) {
        if (scanner.Records(chunk)) return true;
        stopped = !scanner.Failed();
        return false;
    };
    if (progress) visitor.progress = progress;

    switch (scan.Walk(*span, visitor)) {
        case ReportLevelScan::Outcome::kDone:
            break;
        case ReportLevelScan::Outcome::kStopped:
            result.status = stopped ? CycleResult::Status::kCancelled : CycleResult::Status::kReadError;
            break;
        case ReportLevelScan::Outcome::kCancelled:
            result.status = CycleResult::Status::kCancelled;
            break;
        case ReportLevelScan::Outcome::kReadError:
            result.status = CycleResult::Status::kReadError;
            break;
    }
    result.recordsRead = scan.GetRecordsRead();
    result.recordsSkipped = scan.GetRecordsSkipped();
    FinishStatistics(result);
    return result;
}

}  // namespace qvx::analog
