#pragma once
// Sets the TZ variable for the life of the object, so that local clock times are those of
// a known zone ("UTC", "Asia/Tokyo"), and restores the previous value afterwards.

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace qvx::test {

class TimeZone {
public:
    explicit TimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) m_old = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~TimeZone() {
        if (m_old)
            ::setenv("TZ", m_old->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    TimeZone(const TimeZone&) = delete;
    TimeZone& operator=(const TimeZone&) = delete;

private:
    std::optional<std::string> m_old;
};

}  // namespace qvx::test
