#include "support/log_capture.h"

#include <algorithm>
#include <cstdarg>
#include <filesystem>

namespace fs = std::filesystem;

LogCapture::LogCapture()
{
    old_cwd_ = fs::current_path().string();
    fs::current_path(dir_.path());
}

LogCapture::~LogCapture() { fs::current_path(old_cwd_); }

std::vector<std::string> LogCapture::Messages() const
{
    std::vector<std::string> out;
    for (const std::string &line : SplitCrLf(ReadFile(dir_.file("navl.log"))))
        if (!line.empty())
            out.push_back(StripPrefix(line));
    return out;
}

std::string LogCapture::NewReports()
{
    std::string log = ReadFile(dir_.file("navl.log"));
    std::string reports = ReportsIn(log.substr(seen_));
    seen_ = log.size();
    return reports;
}

std::string ReportsIn(const std::string &log)
{
    std::string joined;
    for (const std::string &line : SplitCrLf(log)) {
        std::string message = StripPrefix(line);
        message = message.substr(0, message.find(" at util:"));
        message = message.substr(0, message.find(" in file "));
        if (message.empty())
            continue;
        joined += joined.empty() ? message : " / " + message;
    }
    return joined;
}

int ReportV(int level, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int result = Log_ReportV(level, format, args);
    va_end(args);
    return result;
}

std::vector<std::string> SplitCrLf(const std::string &raw)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < raw.size()) {
        std::size_t end = std::min(raw.find("\r\n", start), raw.size());
        lines.push_back(raw.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// "dd/MM/yyyy HH:mm:ss": each 'd' of the pattern stands for a digit.  (No
// std::regex: where the C++ library is linked statically its allocations
// would pass through the allocator shim and count as leaks.)
static bool begins_with_stamp(const std::string &line)
{
    const std::string pattern = "dd/dd/dddd dd:dd:dd";
    if (line.size() < pattern.size())
        return false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        bool digit = line[i] >= '0' && line[i] <= '9';
        if (pattern[i] == 'd' ? !digit : line[i] != pattern[i])
            return false;
    }
    return true;
}

std::string StripPrefix(const std::string &line)
{
    if (!begins_with_stamp(line))
        return "";
    if (line.compare(19, 2, ": ") == 0)
        return line.substr(21);
    if (line.size() >= 32 && line.compare(19, 2, " t") == 0 && line.compare(29, 3, " : ") == 0)
        return line.substr(32);
    return "";
}
