// Captures what reports write: for its lifetime the process works in a
// fresh temporary directory, so "navl.log" there holds exactly the lines of
// the reports made meanwhile.  The test program runs with neither NAVL_DEBUG
// nor NAVL_LOGGING, so level-0 reports (assertions, allocation failures)
// are written and nothing else.
#pragma once

#include <string>
#include <vector>

#include "support/child.h"
#include "util.h"

class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    std::vector<std::string> Messages() const;  // each non-empty line, prefix removed
    std::string NewReports();  // ReportsIn of the lines written since the last call

private:
    TempDir dir_;
    std::string old_cwd_;
    std::size_t seen_ = 0;
};

// The messages of a log's prefixed lines, each cut before its source
// (" at util:" or " in file "), joined by " / ".
std::string ReportsIn(const std::string &log);
// Log_ReportV, called through a variadic wrapper as a caller's own would.
int ReportV(int level, const char *format, ...) KEEL_PRINTF(2, 3);
// A log's lines, split at CR LF; a last line without CR LF too.
std::vector<std::string> SplitCrLf(const std::string &raw);
// What follows the prefix "dd/MM/yyyy HH:mm:ss: " or "dd/MM/yyyy HH:mm:ss
// tXXXXXXXX : "; "" when the line has neither.
std::string StripPrefix(const std::string &line);
