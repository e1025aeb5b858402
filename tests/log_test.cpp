// The log: level filter per environment, line forms, CR LF, the trim and
// its clock, long and bad input, and several processes appending and
// trimming at once.  Every case runs in a child process in a fresh
// directory, since the level is fixed by a process's first report.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include "log_internal.h"
#include "platform.h"
#include "support/child.h"
#include "support/clock_shim.h"
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
        {"logging blanks, sign, 25, word", {{"NAVL_LOGGING", " \t+25abc"}},
         {"L0", "L1", "L25", "AFTER"}, false, false, 25},
        // Beyond an int: clamped, where a cut to 32 bits would give 0 or -1.
        {"logging 2^32", {{"NAVL_LOGGING", "4294967296"}},
         {"L0", "L1", "L25", "L50", "L100", "L150", "AFTER"}, true, false, 2147483647},
        {"logging -(2^32 + 1)", {{"NAVL_LOGGING", "-4294967297"}}, {}, false, false, -1},
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
        ASSERT_EQ(after.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i)
            EXPECT_EQ(StripPrefix(after[i]), expected[i]);
    }
}

// The first report checks the size at once; the file then grows past the
// limit and the wall clock goes back an hour.  59 s on the monotonic clock
// are not yet a minute; 61 s are, whatever the wall clock says.
KEEL_CHILD(LogClockCheck)
{
    Log_Report(0, "FIRST");
    std::string before = ReadFile("navl.log");
    WriteFile("navl.log", before + MakeLogFile(140000, 100));
    ClockShim_SetWallBack(3600);
    ClockShim_Advance(59 * 1000);
    Log_Report(0, "EARLY");
    ClockShim_Advance(2 * 1000);
    Log_Report(0, "LATE");
    return 0;
}

TEST(Log, SizeCheckComesAMinuteLaterOnTheMonotonicClockWhateverTheWallClockSays)
{
    ChildResult r = RunChild("LogClockCheck", {{"NAVL_LOGGING", "25"}});
    ASSERT_EQ(r.exit_code, 0);
    std::vector<std::string> lines = SplitCrLf(r.log);
    // FIRST (28 bytes), 140000 bytes of 100-byte lines and EARLY (28) were
    // measured; the last 65536 bytes begin 8 bytes before a line start.
    ASSERT_EQ(lines.size(), 655u + 3u);
    EXPECT_EQ(lines[0], std::string(98, 'a'));
    EXPECT_EQ(StripPrefix(lines[655]), "EARLY");
    EXPECT_EQ(StripPrefix(lines[656]), "Logfile truncated from 140056 bytes to 65528 bytes");
    EXPECT_EQ(StripPrefix(lines[657]), "LATE");
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
    ClockShim_RecordPauses();
    Log_Report(0, "lost line");
    WriteFile("pauses.txt", ClockShim_Pauses());
    WriteFile("dropped.txt", std::to_string(keel::log_dropped_lines()));
    return 0;
}

// Another process holding the log for writing keeps the line out and the
// trim off: a file past the limit is left as it was.  The trim's open waits
// for a held file as an append does; a directory is not worth waiting for.
TEST(Log, LineIsDroppedAfterTenPausedAttemptsAndAHeldFileIsNotTrimmed)
{
    const char kTenPauses[] = "0 0 0 1 1 1 2 2 2 3";
    const char kTrimsAndAppendsPauses[] = "0 0 0 1 1 1 2 2 2 3 0 0 0 1 1 1 2 2 2 3";
    for (bool held_by_writer : {false, true}) {
        SCOPED_TRACE(held_by_writer ? "held by another writer" : "a directory at the name");
        TempDir dir;
        intptr_t held = -1;
        std::string content = MakeLogFile(204800, 100);
        if (held_by_writer) {
            WriteFile(dir.file("navl.log"), content);
            held = keel::plat::log_open_append(dir.file("navl.log").c_str());
        } else {
            std::filesystem::create_directory(dir.file("navl.log"));
        }
        ChildProcess child = StartChild("LogUnwritable", dir.path(), {{"NAVL_DEBUG", "1"}});
        int code = WaitChild(child);
        if (held != -1)
            keel::plat::log_close(held);
        ASSERT_EQ(code, 0);
        if (held_by_writer) {
            EXPECT_EQ(ReadFile(dir.file("navl.log")), content);
        }
        EXPECT_EQ(ReadFile(dir.file("pauses.txt")),
                  held_by_writer ? kTrimsAndAppendsPauses : kTenPauses);
        EXPECT_EQ(ReadFile(dir.file("dropped.txt")), "1");
        std::string out = WithoutCr(ReadFile(dir.file("stdout.txt")));
        ASSERT_FALSE(out.empty());
        EXPECT_EQ(StripPrefix(out.substr(0, out.size() - 1)), "lost line");
    }
}

// The trim's open and the appends' opens exclude each other, also within
// one process; only a held file is worth another attempt.
TEST(Log, TrimOpenAndAppendOpenExcludeEachOther)
{
    TempDir dir;
    std::string name = dir.file("navl.log");
    int held_when_missing = -1;
    EXPECT_EQ(keel::plat::log_open_trim(name.c_str(), &held_when_missing), -1);
    intptr_t append = keel::plat::log_open_append(name.c_str());
    ASSERT_NE(append, -1);
    int held_under_append = -1;
    intptr_t trim_under_append = keel::plat::log_open_trim(name.c_str(), &held_under_append);
    keel::plat::log_close(append);
    int held = -1;
    intptr_t trim = keel::plat::log_open_trim(name.c_str(), &held);
    ASSERT_NE(trim, -1);
    intptr_t append_under_trim = keel::plat::log_open_append(name.c_str());
    keel::plat::log_close(trim);
    EXPECT_EQ(held_when_missing, 0);
    EXPECT_EQ(trim_under_append, -1);
    EXPECT_EQ(held_under_append, 1);
    EXPECT_EQ(append_under_trim, -1);
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

namespace {

const int kWriters = 4;
const int kWriterLines = 2000;  // numbered 0 .. 1999, then the last line 2000
const char kPayload[] = "payload-payload-payload-payload";

// Waits, at most a minute, until the current directory holds `count` files
// whose names begin with `prefix`.
bool WaitForFiles(const std::string &prefix, int count)
{
    for (int waited = 0; waited < 30000; ++waited) {
        int found = 0;
        for (auto &entry : std::filesystem::directory_iterator("."))
            if (entry.path().filename().string().compare(0, prefix.size(), prefix) == 0)
                ++found;
        if (found >= count)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

// Writes line n of writer `id`; notes n when the count of dropped lines
// went up (the line's append, or the trim notice's, failed 10 attempts).
void ReportNoting(const std::string &id, int n, std::string *dropped)
{
    uint32_t before = keel::log_dropped_lines();
    Log_Report(0, "writer %s line %04d %s", id.c_str(), n, kPayload);
    if (keel::log_dropped_lines() != before)
        *dropped += std::to_string(n) + " ";
}

}  // namespace

// Starts with the others, then writes its numbered lines, moving its
// monotonic clock a minute ahead every 100 lines so that the next report
// checks the size (and trims past the limit).  When every writer is done,
// writes its last line, after which no trim comes.
KEEL_CHILD(LogTrimWriter)
{
    std::string id = std::getenv("KEEL_WRITER");
    if (!WaitForFiles("go", 1))
        return 2;
    std::string dropped;
    for (int n = 0; n < kWriterLines; ++n) {
        if (n % 100 == 0)
            ClockShim_Advance(61 * 1000);
        ReportNoting(id, n, &dropped);
    }
    WriteFile("done" + id, "");
    if (!WaitForFiles("done", kWriters))
        return 3;
    ReportNoting(id, kWriterLines, &dropped);
    WriteFile("dropped" + id + ".txt", dropped);
    return 0;
}

namespace {

int CountOf(const std::string &text, const std::string &word)
{
    int n = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++n;
    return n;
}

// The numbers that a writer noted as dropped, from its file.
std::set<int> NotedDropped(const std::string &path)
{
    std::set<int> noted;
    std::istringstream text(ReadFile(path));
    for (int n; text >> n;)
        noted.insert(n);
    return noted;
}

}  // namespace

// Every line whole; each writer's numbers one unbroken run up to its last
// line, less the lines its appends dropped; every line missing below the
// run removed by a trim.
TEST(Log, ConcurrentProcessesKeepWholeUnbrokenRunsAcrossTrims)
{
    TempDir dir;
    std::vector<ChildProcess> children;
    for (int p = 0; p < kWriters; ++p) {
        std::string id = std::to_string(p);
        children.push_back(StartChild("LogTrimWriter", dir.path(),
                                      {{"NAVL_DEBUG", "1"}, {"KEEL_WRITER", id}},
                                      "stdout" + id + ".txt"));
    }
    WriteFile(dir.file("go"), "");
    for (auto &child : children)
        ASSERT_EQ(WaitChild(child), 0);

    std::vector<std::vector<int>> in_file(kWriters);  // each writer's numbers, in file order
    int torn = 0;
    for (auto &line : SplitCrLf(ReadFile(dir.file("navl.log")))) {
        std::string m = StripPrefix(line);
        int writer = -1;
        int n = -1;
        char tail[64] = {0};
        bool numbered = std::sscanf(m.c_str(), "writer %d line %d %63s", &writer, &n, tail) == 3 &&
                        std::string(tail) == kPayload && m.size() == 50 && writer >= 0 &&
                        writer < kWriters;
        if (numbered)
            in_file[writer].push_back(n);
        else if (m.compare(0, 23, "Logfile truncated from ") != 0)
            ++torn;
    }

    int trims = 0;
    int removed_by_trims = 0;
    int dropped = 0;
    int lost_otherwise = 0;
    int out_of_order = 0;
    for (int p = 0; p < kWriters; ++p) {
        SCOPED_TRACE(p);
        std::string id = std::to_string(p);
        trims += CountOf(ReadFile(dir.file("stdout" + id + ".txt")), "Logfile truncated from");
        std::set<int> noted_dropped = NotedDropped(dir.file("dropped" + id + ".txt"));
        const std::vector<int> &numbers = in_file[p];
        ASSERT_FALSE(numbers.empty());
        for (std::size_t i = 1; i < numbers.size(); ++i)
            if (numbers[i] <= numbers[i - 1])
                ++out_of_order;
        std::set<int> present(numbers.begin(), numbers.end());
        // A noted line found in the file had its trim notice dropped, not itself.
        for (int n = 0; n <= kWriterLines; ++n) {
            if (present.count(n))
                continue;
            if (noted_dropped.count(n))
                ++dropped;
            else if (n < numbers.front())
                ++removed_by_trims;
            else
                ++lost_otherwise;
        }
    }
    std::printf("[ lines    ] %d written by %d processes across %d trims: %d removed by trims, "
                "%d dropped after 10 failed attempts, %d lost otherwise, %d torn\n",
                kWriters * (kWriterLines + 1), kWriters, trims, removed_by_trims, dropped,
                lost_otherwise, torn);
    EXPECT_GE(trims, 5);
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(out_of_order, 0);
    EXPECT_EQ(lost_otherwise, 0);
}
