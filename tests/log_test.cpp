// The log: level filter per environment, line forms, CR LF, the trim,
// long and bad input, and several processes appending at once.  Every case
// runs in a child process in a fresh directory, since the level is fixed by
// a process's first report.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include "platform.h"
#include "support/child.h"
#include "support/log_capture.h"
#include "util.h"

namespace {

void WriteLevel(const char *file)
{
    FILE *f = std::fopen(file, "w");
    if (f) {
        std::fprintf(f, "%d", global_log_level);
        std::fclose(f);
    }
}

// Reports at each level and one guarded trace; then changes NAVL_LOGGING to
// show whether the environment is read again.
KEEL_CHILD(LogLevels)
{
    const int levels[] = {0, 1, 25, 50, 100, 150};
    for (int level : levels)
        Log_Report(level, "L%d", level);
    if (global_log_level == 100 || global_log_level == -1)
        Log_Trace("T");
    WriteLevel("level.txt");
    SetEnvVar("NAVL_LOGGING", "25");
    Log_Report(1, "AFTER");
    return 0;
}

struct LevelCase {
    const char *name;
    ChildEnv env;
    std::vector<std::string> messages;
    bool thread_ids;
    bool echo;
    int level;
};

std::vector<std::string> AllLines(const std::string &raw)
{
    std::vector<std::string> lines;
    for (auto &line : SplitCrLf(raw))
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

std::string WithoutCr(std::string s)
{
    std::string out;
    for (char c : s)
        if (c != '\r')
            out += c;
    return out;
}

}  // namespace

TEST(Log, EnvironmentSetsLevelPrefixAndEcho)
{
    const std::vector<std::string> debug_all = {"L0", "L1", "L25", "L50", "L100", "T", "AFTER"};
    const LevelCase cases[] = {
        {"neither", {}, {"L0"}, false, false, 0},
        {"debug 0", {{"NAVL_DEBUG", "0"}}, debug_all, true, true, 100},
        {"debug empty, logging ignored", {{"NAVL_DEBUG", ""}, {"NAVL_LOGGING", "5"}}, debug_all,
         true, true, 100},
        {"logging word", {{"NAVL_LOGGING", "word"}}, {"L0"}, false, false, 0},
        {"logging 25", {{"NAVL_LOGGING", "25"}}, {"L0", "L1", "L25", "AFTER"}, false, false, 25},
        // -1 marks the environment unread: the next report reads it again.
        {"logging -1", {{"NAVL_LOGGING", "-1"}}, {"AFTER"}, false, false, -1},
        {"logging -5", {{"NAVL_LOGGING", "-5"}}, {}, false, false, -1},
        {"logging 100", {{"NAVL_LOGGING", "100"}}, debug_all, true, false, 100},
        {"logging 150", {{"NAVL_LOGGING", "150"}},
         {"L0", "L1", "L25", "L50", "L100", "L150", "AFTER"}, true, false, 150},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        ChildProcess child = StartChild("LogLevels", dir.path(), c.env);
        ASSERT_EQ(WaitChild(child), 0);
        std::string raw = ReadFile(dir.file("navl.log"));
        std::vector<std::string> messages;
        for (auto &line : AllLines(raw)) {
            std::string message = StripPrefix(line);
            EXPECT_EQ(c.thread_ids, line.size() > 20 && line[19] == ' ') << line;
            messages.push_back(message);
        }
        EXPECT_EQ(messages, c.messages);
        EXPECT_EQ(ReadFile(dir.file("level.txt")), std::to_string(c.level));
        std::string out = WithoutCr(ReadFile(dir.file("stdout.txt")));
        EXPECT_EQ(out, c.echo ? WithoutCr(raw) : std::string());
    }
}

KEEL_CHILD(LogTrimCheck)
{
    Log_Report(0, "CAUSE");
    std::string before = ReadFile("navl.log");
    WriteFile("navl.log", before + std::string(140000, 'z') + "\r\n");
    Log_Report(0, "SECOND");
    return 0;
}

namespace {

// A file of `size` bytes made of CR LF lines of `line_len` bytes, its first
// line cut so that the size is exact and the file ends with a line end.
std::string MakeLogFile(std::size_t size, std::size_t line_len)
{
    std::string line = std::string(line_len - 2, 'a') + "\r\n";
    std::string body;
    while (body.size() < size)
        body += line;
    return body.substr(body.size() - size);
}

}  // namespace

TEST(Log, TrimCutsOlderHalfAtLineStartOnlyPastLimit)
{
    struct TrimCase {
        std::size_t size;
        std::size_t line_len;  // 128 puts a line start exactly 65536 bytes before the end
        bool trimmed;
    } cases[] = {{131072, 100, false}, {131073, 100, true}, {200064, 128, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.size);
        TempDir dir;
        std::string content = MakeLogFile(c.size, c.line_len);
        ASSERT_EQ(content.size(), c.size);
        WriteFile(dir.file("navl.log"), content);
        ChildProcess child = StartChild("LogTrimCheck", dir.path(), {{"NAVL_LOGGING", "25"}});
        ASSERT_EQ(WaitChild(child), 0);
        std::string raw = ReadFile(dir.file("navl.log"));
        std::string kept = content;
        if (c.trimmed) {
            std::size_t lf = content.find('\n', c.size - 65536);
            ASSERT_NE(lf, std::string::npos);
            if (c.line_len == 128) {  // the line starting at the cut is dropped too
                EXPECT_EQ(lf, c.size - 65536 + 127);
            }
            kept = content.substr(lf + 1);
            EXPECT_LE(kept.size(), 65535u);
        }
        ASSERT_EQ(raw.compare(0, kept.size(), kept), 0) << "kept part differs";
        std::vector<std::string> after = SplitCrLf(raw.substr(kept.size()));
        std::vector<std::string> expected;
        if (c.trimmed)
            expected.push_back("Logfile truncated from " + std::to_string(c.size) + " bytes to " +
                               std::to_string(kept.size()) + " bytes");
        expected.push_back("CAUSE");
        ASSERT_GE(after.size(), expected.size() + 2);
        for (std::size_t i = 0; i < expected.size(); ++i)
            EXPECT_EQ(StripPrefix(after[i]), expected[i]);
        // The second report, within the minute, left the grown file whole.
        EXPECT_EQ(after[expected.size()], std::string(140000, 'z'));
        EXPECT_EQ(StripPrefix(after[expected.size() + 1]), "SECOND");
    }
}

void ReportFormat(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    Log_ReportV(0, format, args);
    va_end(args);
}

// Line ends inside a message, an assertion report, and texts past every
// limit: a 10,000-character argument, a 5,000-character format, no format.
KEEL_CHILD(LogForms)
{
    std::string big(10000, 'x');
    Log_Report(0, "first\nsecond");
    Log_Assert("x > 0", "util", 7);
    Log_Report(0, "%s", big.c_str());
    ReportFormat(std::string(5000, 'y').c_str());
    ReportFormat(nullptr);
    Log_Assert(big.c_str(), "util", 1);
    return 0;
}

TEST(Log, LinesEndInCrLfAndLongOrMissingTextsAreCutSafely)
{
    // Each line: the message's fixed start, then the character filling the
    // rest (0: nothing follows), or no prefix at all for a continuation.
    struct Form {
        bool prefixed;
        std::string start;
        char fill;
    };
    const Form forms[] = {{true, "first", 0},
                          {false, "second", 0},
                          {true, "Assertion failed: x > 0 in file util on line 7", 0},
                          {false, "", 0},
                          {true, "", 'x'},
                          {true, "", 'y'},
                          {true, "(null format)", 0},
                          {true, "Assertion failed: ", 'x'}};
    for (const char *debug : {"no", "yes"}) {
        SCOPED_TRACE(debug);
        ChildEnv env;
        if (debug[0] == 'y')
            env.push_back({"NAVL_DEBUG", "1"});
        ChildResult r = RunChild("LogForms", env);
        ASSERT_EQ(r.exit_code, 0);
        std::vector<std::string> lines = SplitCrLf(r.log);
        ASSERT_EQ(lines.size(), std::size(forms)) << r.log.substr(0, 300);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            // 1023 characters at most, the LF included, so 1022 before CR LF.
            EXPECT_LE(lines[i].size(), 1022u);
            std::string message = forms[i].prefixed ? StripPrefix(lines[i]) : lines[i];
            ASSERT_EQ(message.compare(0, forms[i].start.size(), forms[i].start), 0) << message;
            std::string rest = message.substr(forms[i].start.size());
            EXPECT_EQ(rest, std::string(forms[i].fill ? rest.size() : 0, forms[i].fill));
        }
        EXPECT_EQ(lines[4].size(), 1022u);
        for (std::size_t i = 0; i < r.log.size(); ++i)
            if (r.log[i] == '\n') {
                EXPECT_EQ(r.log[i - 1], '\r') << "bare LF at " << i;
            }
        EXPECT_EQ(r.log.substr(r.log.size() - 2), "\r\n");
        EXPECT_EQ(WithoutCr(r.out), debug[0] == 'y' ? WithoutCr(r.log) : std::string());
    }
}

KEEL_CHILD(LogUnwritable)
{
    return Log_Report(0, "lost line");
}

TEST(Log, UnopenableOrHeldFileLosesLineButStillEchoes)
{
    for (bool held_by_writer : {false, true}) {
        SCOPED_TRACE(held_by_writer ? "held by another writer" : "a directory at the name");
        TempDir dir;
        intptr_t held = -1;
        if (held_by_writer)
            held = keel::plat::log_open_append(dir.file("navl.log").c_str());
        else
            std::filesystem::create_directory(dir.file("navl.log"));
        ChildProcess child = StartChild("LogUnwritable", dir.path(), {{"NAVL_DEBUG", "1"}});
        int code = WaitChild(child);
        if (held != -1)
            keel::plat::log_close(held);
        ASSERT_EQ(code, 0);
        if (held_by_writer) {
            EXPECT_EQ(ReadFile(dir.file("navl.log")), "");
        }
        std::string out = WithoutCr(ReadFile(dir.file("stdout.txt")));
        ASSERT_FALSE(out.empty());
        EXPECT_EQ(StripPrefix(out.substr(0, out.size() - 1)), "lost line");
    }
}

#if !defined(_WIN32)
TEST(Log, SymbolicLinkAtLogNameIsNeverFollowed)
{
    TempDir dir;
    std::string target = dir.file("victim");
    std::string original = MakeLogFile(200000, 100);
    WriteFile(target, original);
    ASSERT_EQ(symlink(target.c_str(), dir.file("navl.log").c_str()), 0);
    ChildProcess child = StartChild("LogForms", dir.path(), {});
    ASSERT_EQ(WaitChild(child), 0);
    // Neither appended to nor trimmed through the link.
    EXPECT_EQ(ReadFile(target), original);
}
#endif

KEEL_CHILD(LogWriter)
{
    const char *id = std::getenv("KEEL_WRITER");
    for (int i = 0; i < 2000; ++i)
        Log_Report(0, "writer %s line %04d payload-payload-payload-payload", id, i);
    return 0;
}

TEST(Log, ConcurrentProcessesNeverInterleaveLines)
{
    const int kProcs = 4, kLines = 2000;
    TempDir dir;
    std::vector<ChildProcess> children;
    for (int p = 0; p < kProcs; ++p)
        children.push_back(StartChild("LogWriter", dir.path(), {{"KEEL_WRITER", std::to_string(p)}},
                                      "stdout" + std::to_string(p) + ".txt"));
    for (auto &child : children)
        ASSERT_EQ(WaitChild(child), 0);
    std::string raw = ReadFile(dir.file("navl.log"));
    std::set<std::string> seen;
    int torn = 0;
    for (auto &line : SplitCrLf(raw)) {
        std::string m = StripPrefix(line);
        int writer = -1, n = -1;
        char tail[64] = {0};
        if (std::sscanf(m.c_str(), "writer %d line %d %63s", &writer, &n, tail) != 3 ||
            std::string(tail) != "payload-payload-payload-payload" || writer < 0 ||
            writer >= kProcs || n < 0 || n >= kLines || m.size() != 50 ||
            !seen.insert(m).second)
            ++torn;
    }
    int lost = kProcs * kLines - (int)seen.size();
    std::printf("[ lines    ] %d written by %d processes, %d lost, %d torn\n", kProcs * kLines,
                kProcs, lost, torn);
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(raw.substr(raw.size() - 2), "\r\n");
    // Lines are lost only when a writer fails its ten attempts, which the
    // machine's load decides; so the loss is printed, not bounded.
    EXPECT_GT(seen.size(), 0u);
}
