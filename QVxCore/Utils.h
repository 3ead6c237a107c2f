#pragma once
// Conventions shared by every module: contract checks, impossible-case guards
// and the per-user data folder.

#include <exception>
#include <filesystem>
#include <string>

namespace qvx {

// Thrown after "Uneachable code." was logged: an enumeration value outside its range.
class UnreachableError : public std::exception {
public:
    const char* what() const noexcept override { return "QVX_UNREACHABLE"; }
};

// Thrown after "Not implemented." was logged.
class NotImplementedError : public std::exception {
public:
    const char* what() const noexcept override { return "QVX_NOTIMPLEMENTED"; }
};

// Logs a failed precondition at error level with its source position.
void LogFailedCheck(const char* condition, const char* file, int line, const char* function) noexcept;

[[noreturn]] void ThrowUnreachable(const char* file, int line, const char* function);
[[noreturn]] void ThrowNotImplemented(const char* file, int line, const char* function);

// $XDG_DATA_HOME, else ~/.local/share (the per-user roaming application-data folder).
std::filesystem::path GetUserDataHome();

}  // namespace qvx

// Precondition check: on failure logs the condition's text and returns from the
// calling function without effect (void functions).
#define QVX_CHECK(cond)                                                 \
    do {                                                                \
        if (!(cond)) {                                                  \
            ::qvx::LogFailedCheck(#cond, __FILE__, __LINE__, __func__); \
            return;                                                     \
        }                                                               \
    } while (0)

// Same, returning `result` (false, nullptr, an empty pointer...).
#define QVX_CHECK_RETURN(cond, result)                                  \
    do {                                                                \
        if (!(cond)) {                                                  \
            ::qvx::LogFailedCheck(#cond, __FILE__, __LINE__, __func__); \
            return result;                                              \
        }                                                               \
    } while (0)

// Logs the condition's text like QVX_CHECK but lets the caller decide what to do.
// Evaluates to the condition's value.
#define QVX_VERIFY(cond) ((cond) ? true : (::qvx::LogFailedCheck(#cond, __FILE__, __LINE__, __func__), false))

#define QVX_UNREACHABLE() ::qvx::ThrowUnreachable(__FILE__, __LINE__, __func__)
#define QVX_NOTIMPLEMENTED() ::qvx::ThrowNotImplemented(__FILE__, __LINE__, __func__)
