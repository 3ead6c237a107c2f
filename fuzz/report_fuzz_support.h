#pragma once
// Set-up shared by the report fuzz targets: quiet logging, and overviews that the reader
// looks for or stores in a cache folder inside the scratch folder.

#include "fuzz/fuzz_support.h"

#include "QVxCore/ReportData/ReportOverviewStore.h"

namespace qvx::fuzz {

inline void PrepareReportFuzzing() {
    QuietLogging();
    static const bool cacheSet = [] {
        ReportOverviewStore::SetCacheRoot(ScratchFolder() / "cache");
        return true;
    }();
    (void)cacheSet;
}

}  // namespace qvx::fuzz
