#pragma once
// The program's own string table (message texts, captions and filters of the
// application and its dialogs); the GUI library's texts 25001-25095 come from
// QVxLoadGuiString. Ids without a text give "".

#include <string_view>

inline constexpr int kAppStringOleInitFailed = 100;
inline constexpr int kAppStringToolBarTitle = 124;
inline constexpr int kAppStringToolBarCustomize = 125;
inline constexpr int kAppStringSessionFileFilter = 322;
inline constexpr int kAppStringNoStartStopTrigger = 20001;
inline constexpr int kAppStringDataSizeOverFreeSpace = 20002;
inline constexpr int kAppStringThresholdRange = 20003;
inline constexpr int kAppStringStopDataSizeTooSmall = 20004;
inline constexpr int kAppStringClose = 20006;
inline constexpr int kAppStringReportTooOld = 20007;
inline constexpr int kAppStringApplicationClosing = 20008;
inline constexpr int kAppStringDisplayTriggerListFull = 20100;  // %s: the stored-hit limit
inline constexpr int kAppStringUntitled = 20101;                // the name of a session never saved
inline constexpr int kAppStringSaveRecordingQuestion = 20102;
// Search of a stored report with the display trigger's settings, and the measurement pane.
inline constexpr int kAppStringSearchNext = 20200;
inline constexpr int kAppStringSearchPrevious = 20201;
inline constexpr int kAppStringSearchAll = 20202;
inline constexpr int kAppStringSearchRange = 20203;
inline constexpr int kAppStringSearchRangeWhole = 20204;
inline constexpr int kAppStringSearchRangeMarkers = 20205;
inline constexpr int kAppStringSearchNoHit = 20206;
inline constexpr int kAppStringSearchNeedsMarkers = 20207;
inline constexpr int kAppStringSearchReadFailed = 20208;
inline constexpr int kAppStringSearchHitLimit = 20209;  // %s: the hit limit
inline constexpr int kAppStringSearchCaption = 20210;
inline constexpr int kAppStringMeasurementTitle = 20220;
inline constexpr int kAppStringMeasurementMarkers = 20221;  // %s, %s: M1 and M2 times with unit
inline constexpr int kAppStringMeasurementWindow = 20222;   // %s, %s: the window's times with unit
inline constexpr int kAppStringMeasurementBusy = 20223;
inline constexpr int kAppStringMeasurementNoData = 20224;
inline constexpr int kAppStringMeasurementColumns = 20225;  // column titles separated by '|'
inline constexpr int kAppStringResetCacheFolder = 32782;
inline constexpr int kAppStringCacheFolderBrowseTitle = 32787;
inline constexpr int kAppStringEnterCacheFolder = 32788;
inline constexpr int kAppStringCacheFolderNotFound = 32789;
inline constexpr int kAppStringCacheFolderMissing = 32790;
inline constexpr int kAppStringAppTitle = 57344;

std::string_view QVxLoadAppString(int id);
