#pragma once

#include <functional>
#include <sstream>
#include <string>
#include <string_view>

// The filer's diagnostic log: Calvenor.log in the user's private runtime folder. One entry is
// one line, "HH:MM:SS.mmm : file : line : Class::Method : message" + CR LF. The file is opened,
// appended to and closed for every entry, and every failure to write is silent: the log must
// never disturb a filing. The one exception: something at the log's name that is not a regular
// file of the user's own is refused with one line on standard error, and the run goes on without
// a log.
class CLog : public std::ostringstream {
public:
    struct TimeOfDay {
        unsigned hour = 0, minute = 0, second = 0, millisecond = 0;
    };
    using Clock = std::function<TimeOfDay()>;

    // The one log of the process. The first call of a run deletes the previous run's log.
    static CLog& Instance();

    // Writes the pending text as one entry and empties it, whether or not the write succeeded.
    void Write();

    // The log's path; false when no folder can be found for it.
    static bool GetLogPath(std::string& path);

    // "09:05:03.042".
    static std::string FormatTimeStamp(const TimeOfDay& time);

    // Tests: a fixed clock (an empty one restores the real local time), and a fresh start so the
    // next Instance() call deletes the log again and a refused log is tried again.
    static void SetClockForTesting(Clock clock);
    static void ResetForTesting();

    virtual ~CLog();

private:
    CLog() = default;
};

// "bool CTransaction::StartJouney(int)" -> "CTransaction::StartJouney".
std::string QualifiedFunctionName(std::string_view prettyFunction);

// The one logging entry point: file, line and qualified function, then the message insertions.
#define LOG_ENTRY(message) LOG_ENTRY_IN(QualifiedFunctionName(__PRETTY_FUNCTION__), message)

// An entry under the function name given: for steps whose entries keep the name the log has
// always shown for them, wherever their code now lives.
#define LOG_ENTRY_IN(function, message)                                                           \
    do {                                                                                          \
        CLog& calvenorLog_ = CLog::Instance();                                                    \
        calvenorLog_ << __FILE__ << " : " << __LINE__ << " : " << (function) << " : " << message; \
        calvenorLog_.Write();                                                                     \
    } while (false)
