#pragma once
// The program's own string table (message texts, captions, menus and filters of
// the application, its dialogs and the command line), in Japanese and English
// (QVxLanguage.h); the GUI library's texts come from QVxLoadGuiString. Ids without
// a text give "". To add a text: add a named id below and a row {id, Japanese,
// English} in QVxAppStrings.cpp; the tests check every row has both forms.

#include "QVxWinCommon/QVxLanguage.h"

#include <span>
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
// The spectrum pane.
inline constexpr int kAppStringSpectrumTitle = 20240;
inline constexpr int kAppStringSpectrumChannel = 20241;
inline constexpr int kAppStringSpectrumWindowFunction = 20242;
inline constexpr int kAppStringSpectrumWindowNames =
    20243;  // in the order of SpectrumWindow, separated by '|'
inline constexpr int kAppStringSpectrumPoints = 20244;
inline constexpr int kAppStringSpectrumPointsAuto = 20245;
inline constexpr int kAppStringSpectrumLogFrequency = 20246;
inline constexpr int kAppStringSpectrumShowSpectrogram = 20247;
inline constexpr int kAppStringSpectrumFigureNames = 20248;  // fundamental, THD, SNR, SINAD, SFDR, ENOB, '|'
inline constexpr int kAppStringSpectrumSegments = 20249;     // %1 segments, %2 N, %3 sample rate
inline constexpr int kAppStringSpectrumPeaks = 20250;
inline constexpr int kAppStringSpectrumExportCsv = 20251;
inline constexpr int kAppStringSpectrumTooFewRecords = 20253;  // %1: N
inline constexpr int kAppStringSpectrumChannelOff = 20254;
inline constexpr int kAppStringSpectrumReadFailed = 20255;
inline constexpr int kAppStringResetCacheFolder = 32782;
inline constexpr int kAppStringCacheFolderBrowseTitle = 32787;
inline constexpr int kAppStringEnterCacheFolder = 32788;
inline constexpr int kAppStringCacheFolderNotFound = 32789;
inline constexpr int kAppStringCacheFolderMissing = 32790;
inline constexpr int kAppStringAppTitle = 57344;

inline constexpr int kAppStringLookClassic = 209;
inline constexpr int kAppStringLookStandard = 210;
inline constexpr int kAppStringLookBlue = 215;
inline constexpr int kAppStringLookBlack = 216;
inline constexpr int kAppStringLookSilver = 217;
inline constexpr int kAppStringLookAqua = 218;
inline constexpr int kAppStringLookWindows7 = 219;
inline constexpr int kAppStringCsvExportMenu = 21000;
inline constexpr int kAppStringNoDataInRange = 21001;
inline constexpr int kAppStringHdf5WriteFailed = 21002;
inline constexpr int kAppStringCsvWriteFailed = 21003;
inline constexpr int kAppStringNoSpan = 21004;
inline constexpr int kAppStringExportFormat = 21005;
inline constexpr int kAppStringHdf5Format = 21006;
inline constexpr int kAppStringExportTimeRange = 21007;
inline constexpr int kAppStringExportMarkerRange = 21008;
inline constexpr int kAppStringExportVisibleRange = 21009;
inline constexpr int kAppStringExportClockTimeHint = 21010;
inline constexpr int kAppStringChannelHeader = 21011;
inline constexpr int kAppStringProbeHeader = 21012;
inline constexpr int kAppStringRangeHeader = 21013;
inline constexpr int kAppStringSamplingFrequency = 21014;
inline constexpr int kAppStringAutoStop = 21015;
inline constexpr int kAppStringStopBySize = 21016;
inline constexpr int kAppStringStopSize = 21017;
inline constexpr int kAppStringStopByTime = 21018;
inline constexpr int kAppStringStopTime = 21019;
inline constexpr int kAppStringReportData = 21020;
inline constexpr int kAppStringAboutGByte = 21021;
inline constexpr int kAppStringOpenRecordingFailed = 21022;
inline constexpr int kAppStringFileMenu = 21030;
inline constexpr int kAppStringOpenCommand = 21031;
inline constexpr int kAppStringSaveAsCommand = 21032;
inline constexpr int kAppStringRecentFilesMenu = 21033;
inline constexpr int kAppStringExitCommand = 21034;
inline constexpr int kAppStringViewMenu = 21035;
inline constexpr int kAppStringBarsMenu = 21036;
inline constexpr int kAppStringStatusBarCommand = 21037;
inline constexpr int kAppStringFitTracksCommand = 21038;
inline constexpr int kAppStringLooksMenu = 21039;
inline constexpr int kAppStringToolsMenu = 21040;
inline constexpr int kAppStringEnvironmentCommand = 21041;
inline constexpr int kAppStringHelpMenu = 21042;
inline constexpr int kAppStringHelpCommand = 21043;
inline constexpr int kAppStringAboutCommand = 21044;
inline constexpr int kAppStringTracing = 21045;
inline constexpr int kAppStringStopping = 21046;
inline constexpr int kAppStringIdle = 21047;
inline constexpr int kAppStringRecordCount = 21048;
inline constexpr int kAppStringOpenSessionFailed = 21049;
inline constexpr int kAppStringFolderHoldsReport = 21050;
inline constexpr int kAppStringSaveSettingsFailed = 21051;
inline constexpr int kAppStringHelpNotFound = 21052;
inline constexpr int kAppStringHelpNotShown = 21053;
inline constexpr int kAppStringAboutTitle = 21054;
inline constexpr int kAppStringSaveButton = 21055;
inline constexpr int kAppStringDontSaveButton = 21056;
inline constexpr int kAppStringEnvironmentTitle = 21057;
inline constexpr int kAppStringCacheFolderGroup = 21058;
inline constexpr int kAppStringResetButton = 21059;
inline constexpr int kAppStringLanguage = 21060;
inline constexpr int kAppStringLanguageAutomatic = 21061;
inline constexpr int kAppStringLanguageJapanese = 21062;
inline constexpr int kAppStringLanguageEnglish = 21063;
inline constexpr int kAppStringLanguageNextStart = 21064;
inline constexpr int kAppStringRecoveryTitle = 21070;
inline constexpr int kAppStringRecoveryText = 21071;
inline constexpr int kAppStringStartTimeHeader = 21072;
inline constexpr int kAppStringLengthHeader = 21073;
inline constexpr int kAppStringRecordsHeader = 21074;
inline constexpr int kAppStringSizeHeader = 21075;
inline constexpr int kAppStringStateHeader = 21076;
inline constexpr int kAppStringOpenButton = 21077;
inline constexpr int kAppStringDiscardButton = 21078;
inline constexpr int kAppStringLaterButton = 21079;
inline constexpr int kAppStringRecoveryOk = 21080;
inline constexpr int kAppStringRecoveryNoRepo = 21081;
inline constexpr int kAppStringRecoveryNoData = 21082;
inline constexpr int kAppStringRecoveryShortFile = 21083;
inline constexpr int kAppStringRecoveryCorrupt = 21084;
inline constexpr int kAppStringRecoveryTornTail = 21085;
inline constexpr int kAppStringRecoveryNoSettings = 21086;
inline constexpr int kAppStringUnknown = 21087;
inline constexpr int kAppStringReenterCacheTitle = 21088;
inline constexpr int kAppStringReenterCacheText = 21089;
inline constexpr int kAppStringExitButton = 21090;
inline constexpr int kAppStringConfigTitle = 21091;
inline constexpr int kAppStringTriggerModeNone = 21092;
inline constexpr int kAppStringTriggerModeStartStop = 21093;
inline constexpr int kAppStringTriggerModeExternalClock = 21094;
inline constexpr int kAppStringTriggerModeTraceSync = 21095;
inline constexpr int kAppStringStartTrigger = 21096;
inline constexpr int kAppStringStopTrigger = 21097;
inline constexpr int kAppStringTrg1 = 21098;
inline constexpr int kAppStringTrg2 = 21099;
inline constexpr int kAppStringCombination = 21100;
inline constexpr int kAppStringThreshold1 = 21101;
inline constexpr int kAppStringThreshold2 = 21102;
inline constexpr int kAppStringTriggerEdge = 21103;
inline constexpr int kAppStringThreshold3 = 21104;
inline constexpr int kAppStringOpenSettingsFailed = 21105;
inline constexpr int kAppStringClockTimeCommand = 21106;
inline constexpr int kAppStringRecoveryDamagedSettings = 21200;
inline constexpr int kAppStringRecoveryDiscardQuestion = 21310;
inline constexpr int kAppStringNoRecordingToSave = 21311;
// Bookmarks: the closing question, the pane and its commands.
inline constexpr int kAppStringSaveBookmarksQuestion = 21400;
inline constexpr int kAppStringBookmarksPane = 21401;
inline constexpr int kAppStringBookmarkTimeHeader = 21402;
inline constexpr int kAppStringBookmarkNameHeader = 21403;
inline constexpr int kAppStringBookmarkNoteHeader = 21404;
inline constexpr int kAppStringBookmarkRefused = 21405;  // %1: the reason
inline constexpr int kAppStringNextBookmark = 21406;
inline constexpr int kAppStringPreviousBookmark = 21407;
inline constexpr int kAppStringRenameBookmark = 21408;
inline constexpr int kAppStringEditBookmarkNote = 21409;
inline constexpr int kAppStringRecolourBookmark = 21410;
inline constexpr int kAppStringShowBookmark = 21411;
inline constexpr int kAppStringDeleteBookmark = 21412;
inline constexpr int kAppStringExportBookmarks = 21413;
inline constexpr int kAppStringAddBookmark = 21414;
inline constexpr int kAppStringBookmarksNotLoaded = 21415;  // %1: the first problem

std::string_view QVxLoadAppString(int id);

// Every row of the table (for the tests).
std::span<const QVxStringRow> QVxAppStringRows();
