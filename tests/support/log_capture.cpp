#include "support/log_capture.h"

#include <algorithm>
#include <filesystem>
#include <regex>

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

std::string StripPrefix(const std::string &line)
{
    static const std::regex prefix(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d(: | t.{8} : ))");
    std::smatch found;
    if (!std::regex_search(line, found, prefix, std::regex_constants::match_continuous))
        return "";
    return found.suffix().str();
}
