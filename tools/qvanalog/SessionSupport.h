#pragma once
// Sessions for the report commands: a path given to info, read or find may be a
// report folder or a session settings file, whose session is opened and whose
// "repo" folder is then reported on.

#include "QVxCore/AnalogSession.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <memory>
#include <string>

namespace qvanalog {

struct OpenedReport {
    qvx::ReportDataReaderPtr reader;              // null for a session without report data
    std::unique_ptr<qvx::AnalogSession> session;  // set when the path named a settings file
    int openCode = -1;                            // AnalogSession::OpenInternal's code
    std::string error;                            // why there is no reader
};

// Opens `path`: a settings file (a regular file) opens its session, anything else the
// report folder. False when no reader came of it, with `error` set; `session` stays set
// for a session that opened without report data.
bool OpenReportOrSession(const std::filesystem::path& path, OpenedReport& out);

// "status", "openCode" and "displayTriggerList" of a session, for info --json.
void AddSessionInfo(nlohmann::ordered_json& out, const OpenedReport& opened);

// save-as of the session `source` as `target`, with the application's checks and texts;
// a fresh recording (a recovered one) is moved when it can be. Exit status.
int SaveSessionAs(const std::filesystem::path& source, const std::filesystem::path& target,
                  bool freshRecording);

// info on a session that opened without report data. Exit status 0.
int PrintDraftSession(const OpenedReport& opened, bool json);

// The four display texts of a record's samples with the session's settings.
nlohmann::ordered_json SessionValues(const qvx::AnalogSession& session, const std::uint8_t* record);

}  // namespace qvanalog
