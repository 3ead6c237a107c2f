#include "QVxCore/Logger.h"
#include "QVxCore/Utils.h"

#include <gtest/gtest.h>
#include <spdlog/sinks/ostream_sink.h>
#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

struct ScopedDataHome {
    fs::path dir;
    ScopedDataHome() {
        dir = fs::temp_directory_path() /
              ("qvx-logger-" + std::to_string(::getpid()) + "-" +
               std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::create_directories(dir);
        ::setenv("XDG_DATA_HOME", dir.c_str(), 1);
    }
    ~ScopedDataHome() {
        qvx::Logger::Shutdown();
        spdlog::set_default_logger(spdlog::stderr_color_mt("restored-" + dir.filename().string()));
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

void WriteAged(const fs::path& p, int ageSeconds) {
    std::ofstream(p) << "x";
    fs::last_write_time(p, fs::file_time_type::clock::now() - std::chrono::seconds(ageSeconds));
}

std::ostringstream& CaptureLog() {
    static std::ostringstream out;
    out.str("");
    auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(out);
    spdlog::set_default_logger(std::make_shared<spdlog::logger>("", sink));
    return out;
}

int CheckedHalf(int v) {
    QVX_CHECK_RETURN(v % 2 == 0, -1);
    return v / 2;
}

}  // namespace

TEST(Logger, FirstInstanceKeepsFiveNewestEntriesThenCreatesItsOwnFile) {
    ScopedDataHome home;
    const fs::path logs = qvx::Logger::LogFolder("QV+Analog");
    fs::create_directories(logs);
    for (int i = 0; i < 8; ++i) WriteAged(logs / ("App-" + std::to_string(100 + i) + ".log"), 100 * (i + 1));

    qvx::Logger::Init("QV+Analog");

    EXPECT_TRUE(fs::exists(logs / "App-100.log"));
    EXPECT_TRUE(fs::exists(logs / "App-104.log"));
    EXPECT_FALSE(fs::exists(logs / "App-105.log"));
    EXPECT_FALSE(fs::exists(logs / "App-107.log"));
    EXPECT_TRUE(fs::exists(logs / ("App-" + std::to_string(::getpid()) + ".log")));
    EXPECT_FALSE(fs::exists(logs / "QV+Analog_QVxLoggerGlobalMutex.lock"));
}

TEST(Logger, SecondInstanceDeletesNothing) {
    ScopedDataHome home;
    const fs::path logs = qvx::Logger::LogFolder("QV+Analog");
    fs::create_directories(logs);
    for (int i = 0; i < 8; ++i) WriteAged(logs / ("App-" + std::to_string(100 + i) + ".log"), 100 * (i + 1));

    // Another process holds the first-instance lock.
    const fs::path lock = logs.parent_path() / "QV+Analog_QVxLoggerGlobalMutex.lock";
    int fd = ::open(lock.c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);

    qvx::Logger::Init("QV+Analog");
    ::close(fd);

    for (int i = 0; i < 8; ++i) EXPECT_TRUE(fs::exists(logs / ("App-" + std::to_string(100 + i) + ".log")));
}

TEST(Logger, RotatesAtOneMebibyteKeepingThreeFiles) {
    ScopedDataHome home;
    qvx::Logger::Init("QV+Analog");
    const std::string line(1000, 'a');
    for (int i = 0; i < 5000; ++i) spdlog::info("{}", line);
    spdlog::default_logger()->flush();

    int count = 0;
    for (const auto& e : fs::directory_iterator(qvx::Logger::LogFolder("QV+Analog"))) {
        ++count;
        EXPECT_LE(fs::file_size(e.path()), qvx::Logger::kMaxFileBytes + 2000);
    }
    EXPECT_EQ(count, 4);
}

TEST(Checks, FailedCheckLogsConditionAndReturnsTheGivenResult) {
    auto& out = CaptureLog();
    EXPECT_EQ(CheckedHalf(4), 2);
    EXPECT_TRUE(out.str().empty());
    EXPECT_EQ(CheckedHalf(3), -1);
    EXPECT_NE(out.str().find("v % 2 == 0"), std::string::npos);
    EXPECT_NE(out.str().find("[error]"), std::string::npos);
    EXPECT_NE(out.str().find("test_logger_and_checks.cpp"), std::string::npos);
}

TEST(Checks, GuardsLogAtCriticalAndThrowTheirTexts) {
    auto& out = CaptureLog();
    try {
        QVX_UNREACHABLE();
        FAIL();
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "QVX_UNREACHABLE");
    }
    EXPECT_NE(out.str().find("[critical] [test_logger_and_checks.cpp"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("Uneachable code."), std::string::npos);
    try {
        QVX_NOTIMPLEMENTED();
        FAIL();
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "QVX_NOTIMPLEMENTED");
    }
    EXPECT_NE(out.str().find("Not implemented."), std::string::npos);
}

TEST(Logger, DeviceMessageLevelsMapOneUp) {
    auto& out = CaptureLog();
    spdlog::default_logger()->set_level(spdlog::level::trace);
    qvx::Logger::LogDeviceMessage("qvusb_api.cpp", 12, 3, "boom");
    qvx::Logger::LogDeviceMessage("fx3.cpp", 7, 9, "quiet");
    EXPECT_NE(out.str().find("[error] [qvusb_api.cpp:12] boom"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("[debug] [fx3.cpp:7] quiet"), std::string::npos) << out.str();
}
