#include "support/log_capture.h"

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
    for (auto &line : SplitCrLf(ReadFile(dir_.file("navl.log"))))
        if (!line.empty())
            out.push_back(StripPrefix(line));
    return out;
}

std::string AssertionMessage(const std::string &expr, const std::string &source, int line)
{
    return "Assertion failed: " + expr + " in file " + source + " on line " + std::to_string(line);
}

std::vector<std::string> SplitCrLf(const std::string &raw)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < raw.size()) {
        std::size_t end = raw.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(raw.substr(start));
            break;
        }
        lines.push_back(raw.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

static bool is_digits(const std::string &s, std::size_t at, std::size_t n)
{
    for (std::size_t i = at; i < at + n; ++i)
        if (i >= s.size() || s[i] < '0' || s[i] > '9')
            return false;
    return true;
}

std::string StripPrefix(const std::string &line)
{
    // "dd/MM/yyyy HH:mm:ss" is 19 characters.
    bool stamp = line.size() >= 19 && is_digits(line, 0, 2) && line[2] == '/' &&
                 is_digits(line, 3, 2) && line[5] == '/' && is_digits(line, 6, 4) &&
                 line[10] == ' ' && is_digits(line, 11, 2) && line[13] == ':' &&
                 is_digits(line, 14, 2) && line[16] == ':' && is_digits(line, 17, 2);
    if (!stamp)
        return "";
    if (line.compare(19, 2, ": ") == 0)
        return line.substr(21);
    if (line.size() >= 32 && line.compare(19, 2, " t") == 0 && line.compare(29, 3, " : ") == 0)
        return line.substr(32);
    return "";
}
