#pragma once
// The GUI library's string table (ids 25001-25199 and the command prompts
// 17001-17015): message and caption texts that both the GUI library and the
// program load by id, in Japanese and English (QVxLanguage.h). Ids without a text
// give "". To add a text: add a named id below and a row {id, Japanese, English}
// in QVxGuiStrings.cpp; the tests check every row has both forms.

#include "QVxWinCommon/QVxLanguage.h"

#include <span>
#include <string_view>

// Command prompts: status-bar text, a line break, then the tooltip.
inline constexpr int kGuiStringCopyGraphPrompt = 17001;
inline constexpr int kGuiStringTimeUnitNsPrompt = 17002;
inline constexpr int kGuiStringTimeUnitUsPrompt = 17003;
inline constexpr int kGuiStringTimeUnitMsPrompt = 17004;
inline constexpr int kGuiStringTimeUnitSecondsPrompt = 17005;
inline constexpr int kGuiStringMoveMarker1Prompt = 17006;
inline constexpr int kGuiStringMoveMarker2Prompt = 17007;
inline constexpr int kGuiStringChannel1Prompt = 17008;
inline constexpr int kGuiStringChannel2Prompt = 17009;
inline constexpr int kGuiStringChannel3Prompt = 17010;
inline constexpr int kGuiStringChannel4Prompt = 17011;
inline constexpr int kGuiStringChannel5Prompt = 17012;
inline constexpr int kGuiStringChannel6Prompt = 17013;
inline constexpr int kGuiStringChannel7Prompt = 17014;
inline constexpr int kGuiStringChannel8Prompt = 17015;
inline constexpr int kGuiStringAddBookmarkPrompt = 17017;
inline constexpr int kGuiStringDeleteBookmarkPrompt = 17018;
// Messages and captions.
inline constexpr int kGuiStringSelectUnitTitle = 25001;
inline constexpr int kGuiStringSelectUnitConnect = 25002;
inline constexpr int kGuiStringSelectUnitDisconnect = 25003;
inline constexpr int kGuiStringSelectUnitIdHeader = 25004;
inline constexpr int kGuiStringSelectUnitRefresh = 25011;
inline constexpr int kGuiStringBitStreamNameNotSet = 25012;
inline constexpr int kGuiStringBitStreamNotFound = 25013;
inline constexpr int kGuiStringUnitInitFailed = 25014;
inline constexpr int kGuiStringUnitNotInitialized = 25015;
inline constexpr int kGuiStringUsbConnectionLost = 25016;
inline constexpr int kGuiStringCannotConnect = 25018;
inline constexpr int kGuiStringInvalidParameters = 25020;
inline constexpr int kGuiStringCannotOpenUnit = 25021;
inline constexpr int kGuiStringCannotReadUnitState = 25022;
inline constexpr int kGuiStringTraceWriteFailed = 25023;
inline constexpr int kGuiStringFirmwareDownloadFailed = 25024;
inline constexpr int kGuiStringUnknownError = 25025;
inline constexpr int kGuiStringCanUsbError = 25026;
inline constexpr int kGuiStringAutomaticColor = 25032;
inline constexpr int kGuiStringOtherColor = 25033;
inline constexpr int kGuiStringTrace = 25038;
inline constexpr int kGuiStringElapsedTime = 25039;
inline constexpr int kGuiStringLogDataAcquired = 25040;
inline constexpr int kGuiStringBufferUsage = 25041;
inline constexpr int kGuiStringConnect = 25043;
inline constexpr int kGuiStringDisconnect = 25044;
inline constexpr int kGuiStringNotConnected = 25045;
inline constexpr int kGuiStringConnecting = 25046;
inline constexpr int kGuiStringStart = 25049;
inline constexpr int kGuiStringStop = 25050;
inline constexpr int kGuiStringReady = 25051;
inline constexpr int kGuiStringStarted = 25053;
inline constexpr int kGuiStringConnectionErrorStopped = 25054;
inline constexpr int kGuiStringTrackName = 25055;
inline constexpr int kGuiStringTrackColor = 25056;
inline constexpr int kGuiStringTrackBackground = 25057;
inline constexpr int kGuiStringTraceStartFailed = 25058;
inline constexpr int kGuiStringLowDiskSpace = 25060;
inline constexpr int kGuiStringNoUnitFound = 25061;
inline constexpr int kGuiStringSeveralUnitsFound = 25062;
inline constexpr int kGuiStringVerticalScaling = 25064;
inline constexpr int kGuiStringDisplayTrigger = 25065;
inline constexpr int kGuiStringAnalogDataList = 25066;
inline constexpr int kGuiStringAcquisitionSettings = 25067;
inline constexpr int kGuiStringDisplayTriggerList = 25068;
inline constexpr int kGuiStringExportButton = 25069;
inline constexpr int kGuiStringExportAll = 25072;
inline constexpr int kGuiStringExportRange = 25073;
inline constexpr int kGuiStringExportGroup = 25074;
inline constexpr int kGuiStringRangeInvalid = 25075;
inline constexpr int kGuiStringTriggerPosition = 25076;
inline constexpr int kGuiStringTriggerSource = 25077;
inline constexpr int kGuiStringTriggerLevel = 25078;
inline constexpr int kGuiStringTriggerSensitivity = 25079;
inline constexpr int kGuiStringPulseWidth = 25080;
inline constexpr int kGuiStringPulseWidthCondition = 25081;
inline constexpr int kGuiStringWithin = 25082;
inline constexpr int kGuiStringOutside = 25083;
inline constexpr int kGuiStringReportFileFailed = 25084;
inline constexpr int kGuiStringDataNumber = 25085;
inline constexpr int kGuiStringDiscardOldReportData = 25086;
inline constexpr int kGuiStringMinimumKeepTime = 25087;
inline constexpr int kGuiStringEnterTime = 25089;
inline constexpr int kGuiStringRotationTimeTooLong = 25090;  // %s: the longest time allowed
inline constexpr int kGuiStringDamagedData = 25091;
inline constexpr int kGuiStringNotEnoughSpace = 25092;
inline constexpr int kGuiStringConnectionInterrupted = 25094;
inline constexpr int kGuiStringUnitConnectionInterrupted =
    25095;  // the text of 25094, for the device manager
inline constexpr int kGuiStringTimeUnitMenu = 25100;
inline constexpr int kGuiStringChannelsMenu = 25101;
inline constexpr int kGuiStringExportMarkerRange = 25102;
inline constexpr int kGuiStringClose = 25103;
inline constexpr int kGuiStringNotANumber = 25104;      // %1: the typed text
inline constexpr int kGuiStringClampedToRange = 25105;  // %1-%2 the range, %3 the unit, %4 the value set
inline constexpr int kGuiStringCancel = 25106;
inline constexpr int kGuiStringBuildingOverview = 25107;  // %1: percent done

std::string_view QVxLoadGuiString(int id);

// Every row of the table (for the tests).
std::span<const QVxStringRow> QVxGuiStringRows();
