#pragma once
// Runs the built qvanalog program (QVANALOG_PATH) for the command tests.

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace qvanalog_test {

struct Result {
    int status = -1;  // exit status, or -1 when the program did not exit normally (crash, timeout)
    std::string out;
    std::string err;
};

inline std::string Slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs qvanalog with `args` (each single-quoted) and no standard input, with a time
// limit so that a hang fails the test.
inline Result RunQvanalog(const std::vector<std::string>& args, int timeoutSeconds = 30) {
    static std::atomic<int> s_run{0};  // runs may come from several threads at once
    const std::filesystem::path base =
        std::filesystem::temp_directory_path() /
        ("qvanalog-run-" + std::to_string(::getpid()) + "-" + std::to_string(s_run++));
    const std::string out = base.string() + ".out", err = base.string() + ".err";
    std::string command = "timeout " + std::to_string(timeoutSeconds) + " '" QVANALOG_PATH "'";
    for (const std::string& a : args) command += " '" + a + "'";
    command += " >'" + out + "' 2>'" + err + "' </dev/null";
    const int raw = std::system(command.c_str());
    Result r;
    if (raw != -1 && WIFEXITED(raw) && WEXITSTATUS(raw) != 124) r.status = WEXITSTATUS(raw);
    r.out = Slurp(out);
    r.err = Slurp(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return r;
}

}  // namespace qvanalog_test
