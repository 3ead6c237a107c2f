#pragma once
// cereal functions of the settings model, included only by the archive's sources.
// Members are written in the order of the session settings file and only from the
// class version that introduced them; loading reads each class at the version found
// at its first object and leaves newer members untouched.

#include "QVxCore/AnalogSettings.h"
#include "QVxCore/Bookmarks.h"
#include "QVxCore/DisplayTriggerList.h"

#include <cereal/cereal.hpp>
#include <cereal/types/string.hpp>
#include <cereal/types/vector.hpp>

#include <QString>

#include <spdlog/spdlog.h>

#include <string>

namespace qvx {

namespace archive_detail {

// A fixed-size member written as a JSON array. Loading reads exactly size()
// entries and so also accepts the object form {"value0": ..., "value1": ...} that
// cereal writes for plain C++ arrays.
template <class Array>
struct FixedArrayRef {
    Array& items;
};

template <class A, class Array>
void save(A& ar, const FixedArrayRef<Array>& ref) {
    ar(cereal::make_size_tag(static_cast<cereal::size_type>(ref.items.size())));
    for (const auto& item : ref.items) ar(item);
}

template <class A, class Array>
void load(A& ar, FixedArrayRef<Array>& ref) {
    for (auto& item : ref.items) ar(item);
}

template <class Array>
FixedArrayRef<Array> Fixed(Array& items) {
    return FixedArrayRef<Array>{items};
}

// The report metadata root object.
template <class List>
struct MetadataRef {
    List& list;
};

template <class A, class List>
void serialize(A& ar, MetadataRef<List>& meta) {
    ar(cereal::make_nvp("displayTriggerList", meta.list));
}

// The report metadata root object with bookmarks, written only: the member
// "bookmarks" follows the hit list and is left out when there are none, so that a
// recording without bookmarks keeps the file it always had. Bookmarks are read by
// Archive::LoadBookmarks, entry by entry.
struct MetadataWithBookmarksRef {
    const AnalogDisplayTriggerList& hits;
    const AnalogBookmarkList& bookmarks;
};

template <class A>
void save(A& ar, const MetadataWithBookmarksRef& meta) {
    ar(cereal::make_nvp("displayTriggerList", meta.hits));
    if (!meta.bookmarks.empty()) ar(cereal::make_nvp("bookmarks", meta.bookmarks));
}

}  // namespace archive_detail

#define QVX_NVP(object, member) ::cereal::make_nvp(#member, object.member)

template <class A>
std::string save_minimal(const A&, const Color& color) {
    return color.ToText();
}

template <class A>
void load_minimal(const A&, Color& color, const std::string& text) {
    bool ok = false;
    color = Color::FromText(text, &ok);
    if (!ok) {
        spdlog::default_logger_raw()->log(spdlog::source_loc{__FILE__, __LINE__, "qvx::Color::serialize"},
                                          spdlog::level::warn, "color code description");
    }
}

template <class A>
void serialize(A& ar, AnalogDisplayTriggerItem& item) {
    ar(QVX_NVP(item, dataIndex), QVX_NVP(item, widthNSec));
}

template <class A>
void save(A& ar, const AnalogBookmark& b) {
    ar(cereal::make_nvp("id", b.id), cereal::make_nvp("timeNSec", b.timeNSec),
       cereal::make_nvp("name", b.name), cereal::make_nvp("note", b.note), cereal::make_nvp("color", b.color),
       cereal::make_nvp("visible", b.visible));
}

template <class A>
void serialize(A& ar, AnalogDisplayTriggerSettings& s, std::uint32_t /*version*/) {
    ar(QVX_NVP(s, voltageLevel), QVX_NVP(s, voltageLevelDisplayUnit), QVX_NVP(s, sensitivityCount),
       QVX_NVP(s, slope), QVX_NVP(s, edgeWidthTime), QVX_NVP(s, edgeWidthTimeDisplayUnit),
       QVX_NVP(s, widthEdgeComparison));
}

template <class A>
void serialize(A& ar, WaveformMarkerVisualSettings& m, std::uint32_t /*version*/) {
    ar(QVX_NVP(m, enabled), QVX_NVP(m, time), QVX_NVP(m, color));
}

// Members after the name, in file order, each from the version that added it.
template <class A, class Track>
void SerializeTrackTail(A& ar, Track& t, std::uint32_t version) {
    ar(QVX_NVP(t, backgroundColor), QVX_NVP(t, lineColor));
    if (version >= 2) ar(QVX_NVP(t, probeAttenuationRatio));
    if (version >= 3) ar(QVX_NVP(t, enabled));
    if (version >= 4) ar(QVX_NVP(t, verticalResolutionOffset));
    if (version >= 5) ar(QVX_NVP(t, verticalScaling));
}

// The wide track name travels as UTF-8.
template <class A>
void save(A& ar, const WaveformTrackVisualSettings& t, std::uint32_t version) {
    const std::string name = QString::fromStdWString(t.name).toStdString();
    ar(cereal::make_nvp("name", name));
    SerializeTrackTail(ar, t, version);
}

template <class A>
void load(A& ar, WaveformTrackVisualSettings& t, std::uint32_t version) {
    std::string name;
    ar(cereal::make_nvp("name", name));
    t.name = QString::fromStdString(name).toStdWString();
    SerializeTrackTail(ar, t, version);
}

template <class A, class Visual>
void SerializeVisual(A& ar, Visual& v, std::uint32_t version) {
    ar(QVX_NVP(v, tracks));
    if (version >= 1) ar(cereal::make_nvp("markers", archive_detail::Fixed(v.markers)));
    if (version >= 2) ar(QVX_NVP(v, timeUnit));
    if (version >= 3) ar(QVX_NVP(v, timeScale));
    if (version >= 4) ar(QVX_NVP(v, labelAreaWidth));
}

template <class A>
void save(A& ar, const WaveformVisualSettings& v, std::uint32_t version) {
    SerializeVisual(ar, v, version);
}

template <class A>
void load(A& ar, WaveformVisualSettings& v, std::uint32_t version) {
    SerializeVisual(ar, v, version);
}

template <class A, class Settings>
void SerializeSettings(A& ar, Settings& s, std::uint32_t version) {
    ar(cereal::make_nvp("channelVoltages", archive_detail::Fixed(s.channelVoltages)),
       QVX_NVP(s, samplingFrequency), QVX_NVP(s, trigger1ChStartMode), QVX_NVP(s, trigger1ChStopMode),
       QVX_NVP(s, trigger1ChThreshold), QVX_NVP(s, trigger2ChStartMode), QVX_NVP(s, trigger2ChStopMode),
       QVX_NVP(s, trigger2ChThreshold), QVX_NVP(s, triggerStartCondition), QVX_NVP(s, triggerStopCondition),
       QVX_NVP(s, trigger3ChMode), QVX_NVP(s, trigger3ChThreshold), QVX_NVP(s, trigger4ChEnabled));
    if (version >= 2) {
        ar(QVX_NVP(s, splitDataSizeMB), QVX_NVP(s, enableStopDataSize), QVX_NVP(s, stopDataSizeMB),
           QVX_NVP(s, enableStopElapsedTime), QVX_NVP(s, stopElapsedTimeMS));
    }
    ar(QVX_NVP(s, visualSettings));
    if (version >= 3) {
        ar(QVX_NVP(s, displayTriggerMode),
           cereal::make_nvp("displayTriggerSettings", archive_detail::Fixed(s.displayTriggerSettings)),
           QVX_NVP(s, displayTriggerSourceChannel), QVX_NVP(s, displayTriggerPosition));
    }
    if (version >= 4) ar(QVX_NVP(s, enableReportFileRotation), QVX_NVP(s, reportFileRotationTimeS));
}

template <class A>
void save(A& ar, const AnalogSettings& s, std::uint32_t version) {
    SerializeSettings(ar, s, version);
}

template <class A>
void load(A& ar, AnalogSettings& s, std::uint32_t version) {
    SerializeSettings(ar, s, version);
    s.SetClassVersion(version);
}

#undef QVX_NVP

}  // namespace qvx

CEREAL_CLASS_VERSION(qvx::AnalogSettings, qvx::AnalogSettings::kClassVersion);
CEREAL_CLASS_VERSION(qvx::WaveformVisualSettings, qvx::WaveformVisualSettings::kClassVersion);
CEREAL_CLASS_VERSION(qvx::WaveformTrackVisualSettings, qvx::WaveformTrackVisualSettings::kClassVersion);
CEREAL_CLASS_VERSION(qvx::WaveformMarkerVisualSettings, qvx::WaveformMarkerVisualSettings::kClassVersion);
CEREAL_CLASS_VERSION(qvx::AnalogDisplayTriggerSettings, qvx::AnalogDisplayTriggerSettings::kClassVersion);
