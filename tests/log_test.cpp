// The log: the level, prefix and echo of each environment, the forms of a
// line, the trim and its clock, a file held by another writer, and several
// processes appending and trimming at once.  A process fixes its level at
// its first report: the cases of other levels run in child processes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
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

bool FirstPrefixHasThreadId(const std::string &log)
{
    return log.size() > 21 && log.compare(19, 2, " t") == 0;
}

std::string WithoutCr(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

// `size` bytes of CR LF lines `length` bytes long, the first one cut short.
std::string LinesOfLength(std::size_t size, std::size_t length)
{
    std::string line = std::string(length - 2, 'a') + "\r\n";
    std::string body;
    while (body.size() < size)
        body += line;
    return body.substr(body.size() - size);
}

}  // namespace

// A report at each level and a trace; then NAVL_LOGGING changes, which only
// a process that still counts its environment as unread notices.
KEEL_CHILD(LogLevels)
{
    const int levels[] = {0, 1, 25, 50, 100, 150};
    for (int level : levels)
        CHILD_REQUIRE(Log_Report(level, "L%d", level) == 0);
    Log_Trace("T");
    WriteFile("level.txt", std::to_string(global_log_level));
    SetEnvVar("NAVL_LOGGING", "25");
    Log_Report(1, "AFTER");
    return 0;
}

TEST(Log, EnvironmentSetsLevelPrefixAndEcho)
{
    const char kTo100[] = "L0 / L1 / L25 / L50 / L100 / T / AFTER";
    const char kAll[] = "L0 / L1 / L25 / L50 / L100 / L150 / T / AFTER";
    // Each row: the environment, the messages written, whether the prefix
    // carries the thread id, whether lines are echoed, the level.
    struct LevelCase { const char *name; ChildEnv env; const char *messages; bool thread_id, echo; const char *level; };
    const LevelCase kCases[] = {
        {"neither", {}, "L0", false, false, "0"},
        {"debug 0", {{"NAVL_DEBUG", "0"}}, kTo100, true, true, "100"},
        {"debug empty wins", {{"NAVL_DEBUG", ""}, {"NAVL_LOGGING", "5"}}, kTo100, true, true, "100"},
        {"logging word", {{"NAVL_LOGGING", "word"}}, "L0", false, false, "0"},
        {"logging 25", {{"NAVL_LOGGING", "25"}}, "L0 / L1 / L25 / AFTER", false, false, "25"},
        {"logging read as a leading number", {{"NAVL_LOGGING", " \t+25abc"}}, "L0 / L1 / L25 / AFTER", false, false, "25"},
        {"logging -1: read again", {{"NAVL_LOGGING", "-1"}}, "AFTER", false, false, "-1"},
        {"logging -5", {{"NAVL_LOGGING", "-5"}}, "", false, false, "-1"},
        {"logging 100", {{"NAVL_LOGGING", "100"}}, kTo100, true, false, "100"},
        {"logging 150", {{"NAVL_LOGGING", "150"}}, kAll, true, false, "150"},
        {"logging 2^32: clamped", {{"NAVL_LOGGING", "4294967296"}}, kAll, true, false, "2147483647"},
        {"logging -(2^32 + 1): clamped", {{"NAVL_LOGGING", "-4294967297"}}, "", false, false, "-1"},
    };
    for (const LevelCase &c : kCases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        ChildProcess child = StartChild("LogLevels", dir.path(), c.env);
        ASSERT_EQ(WaitChild(child), 0);
        std::string log = ReadFile(dir.file("navl.log"));
        EXPECT_EQ(ReportsIn(log), c.messages);
        EXPECT_EQ(FirstPrefixHasThreadId(log), c.thread_id);
        EXPECT_EQ(WithoutCr(ReadFile(dir.file("stdout.txt"))), c.echo ? WithoutCr(log) : "");
        EXPECT_EQ(ReadFile(dir.file("level.txt")), c.level);
    }
}

void ReportFormat(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    Log_ReportV(0, format, args);
    va_end(args);
}

// A line holds 1023 characters with its LF: a cut one keeps 1001 after the
// 21 of its prefix, then CR LF.
TEST(Log, LinesEndInCrLfAndLongOrMissingTextsAreCutSafely)
{
    LogCapture capture;
    std::string big(10000, 'x');
    EXPECT_EQ(Log_Report(1, "filtered out"), 0);
    EXPECT_EQ(Log_Report(0, "first\nsecond"), 0);
    Log_Assert("x > 0", "util", 7);
    Log_Report(0, "%s", big.c_str());
    ReportFormat(std::string(5000, 'y').c_str());
    ReportFormat(nullptr);
    Log_Assert(big.c_str(), "util", 1);
    std::string log = ReadFile("navl.log");
    std::vector<std::string> lines = SplitCrLf(log);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(StripPrefix(lines[0]), "first");
    EXPECT_EQ(lines[1], "second");
    EXPECT_EQ(StripPrefix(lines[2]), "Assertion failed: x > 0 in file util on line 7");
    EXPECT_EQ(lines[3], "");
    EXPECT_EQ(StripPrefix(lines[4]), std::string(1001, 'x'));
    EXPECT_EQ(StripPrefix(lines[5]), std::string(1001, 'y'));
    EXPECT_EQ(StripPrefix(lines[6]), "(null format)");
    EXPECT_EQ(StripPrefix(lines[7]), "Assertion failed: " + std::string(983, 'x'));
    EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
}

// A minute on, a report checks the size first.  (The notice of a trim
// needs level 25; this process reports at 0.)
TEST(Log, TrimKeepsTheNewerHalfFromALineStartOnlyPastTheLimit)
{
    // Each row: the file's size and line length, the bytes of it kept.
    struct TrimCase { std::size_t size, line_length, kept; };
    const TrimCase kCases[] = {
        {131072, 100, 131072},
        {131073, 100, 65500},
        {200064, 128, 65408},  // a line begins exactly 65536 bytes before the end: it goes too
        {131073, 65536, 131073},  // the newer half holds no line start: nothing to keep
    };
    for (const TrimCase &c : kCases) {
        SCOPED_TRACE(c.size);
        LogCapture capture;
        std::string old = LinesOfLength(c.size, c.line_length);
        WriteFile("navl.log", old);
        ClockShim_Advance(61 * 1000);
        Log_Report(0, "CAUSE");
        std::string log = ReadFile("navl.log");
        EXPECT_EQ(log.substr(0, c.kept), old.substr(c.size - c.kept));
        EXPECT_EQ(ReportsIn(log.substr(c.kept)), "CAUSE");
    }
}

// The first report checks the size; then the file grows past the limit and
// the wall clock goes back an hour.  59 s on the monotonic clock are not
// yet a minute, 61 s are.
KEEL_CHILD(LogClockCheck)
{
    ClockShim_Freeze();
    Log_Report(0, "FIRST");
    std::string grown = ReadFile("navl.log") + LinesOfLength(140000, 100);
    WriteFile("navl.log", grown);
    ClockShim_SetWallBack(3600);
    ClockShim_Advance(59999);
    Log_Report(0, "EARLY");
    ClockShim_Advance(1);  // a minute to the millisecond
    Log_Report(0, "LATE");
    return 0;
}

TEST(Log, SizeIsCheckedAMinuteLaterOnTheMonotonicClockWhateverTheWallClockSays)
{
    ChildResult r = RunChild("LogClockCheck", {{"NAVL_LOGGING", "25"}});
    ASSERT_EQ(r.exit_code, 0);
    EXPECT_EQ(ReportsIn(r.log), "EARLY / Logfile truncated from 140056 bytes to 65528 bytes / LATE");
}

// Another writer holds the file: the size check waits for it as an append
// does, ten attempts with a pause after each, then leaves it alone, past
// the limit as it is; the line is dropped after its own ten.
TEST(Log, FileHeldByAnotherWriterIsNeitherTrimmedNorWritten)
{
    LogCapture capture;
    std::string old = LinesOfLength(204800, 100);
    WriteFile("navl.log", old);
    intptr_t held = keel::plat::log_open_append("navl.log");
    uint32_t dropped = keel::log_dropped_lines();
    ClockShim_Advance(61 * 1000);
    ClockShim_RecordPauses();
    Log_Report(0, "lost line");
    EXPECT_EQ(ClockShim_Pauses(), "0 0 0 1 1 1 2 2 2 3 0 0 0 1 1 1 2 2 2 3");
    keel::plat::log_close(held);
    EXPECT_EQ(keel::log_dropped_lines() - dropped, 1u);
    EXPECT_EQ(ReadFile("navl.log"), old);
}

#if !defined(_WIN32)
// A link planted at the log's name would let another account have this
// process append to or truncate a file of its choosing.
TEST(Log, SymbolicLinkAtTheLogsNameIsNeverFollowed)
{
    LogCapture capture;
    std::string victim = LinesOfLength(200000, 100);
    WriteFile("victim", victim);
    ASSERT_EQ(symlink("victim", "navl.log"), 0);
    ClockShim_Advance(61 * 1000);
    Log_Report(0, "not through the link");
    EXPECT_EQ(ReadFile("victim"), victim);
}
#endif

namespace {

const int kWriters = 4;
const int kWriterLines = 2000;  // numbered 0 .. 1999; line 2000 comes last
const char kPayload[] = "payload-payload-payload-payload";

// Whether the message is a whole numbered line; gives its writer and number.
bool ParseWholeLine(const std::string &message, int *writer, int *n)
{
    if (std::sscanf(message.c_str(), "writer %d line %d", writer, n) != 2)
        return false;
    char whole[128];
    std::snprintf(whole, sizeof whole, "writer %d line %04d %s", *writer, *n, kPayload);
    return message == whole && *writer >= 0 && *writer < kWriters && *n >= 0 && *n <= kWriterLines;
}

}  // namespace

// Writes its numbered lines, a minute later on its monotonic clock every
// 100 lines, so that the next report checks the size.  Its fates file
// marks 'd' each line whose append (or whose trim notice's) failed 10
// attempts, '-' the others.
KEEL_CHILD(LogTrimWriter)
{
    std::string id = std::getenv("KEEL_WRITER");
    std::string fates(kWriterLines + 1, '-');
    for (int n = 0; n < kWriterLines; ++n) {
        if (n % 100 == 0)
            ClockShim_Advance(61 * 1000);
        uint32_t before = keel::log_dropped_lines();
        Log_Report(0, "writer %s line %04d %s", id.c_str(), n, kPayload);
        if (keel::log_dropped_lines() != before)
            fates[n] = 'd';
    }
    WriteFile("fates" + id, fates);
    return 0;
}

// Alone, after the writers: each writer's last line.
KEEL_CHILD(LogLastLines)
{
    for (int p = 0; p < kWriters; ++p)
        Log_Report(0, "writer %d line %04d %s", p, kWriterLines, kPayload);
    return 0;
}

// Every line whole; each writer's numbers one unbroken run up to its last
// line, less the lines it counted as dropped; a line missing below the run
// was removed by a trim.
TEST(Log, ConcurrentProcessesKeepWholeUnbrokenRunsAcrossTrims)
{
    TempDir dir;
    std::vector<ChildProcess> writers;
    for (int p = 0; p < kWriters; ++p) {
        ChildEnv env = {{"NAVL_DEBUG", "1"}, {"KEEL_WRITER", std::to_string(p)}};
        writers.push_back(StartChild("LogTrimWriter", dir.path(), env, "stdout" + std::to_string(p)));
    }
    for (ChildProcess &writer : writers)
        ASSERT_EQ(WaitChild(writer), 0);
    ChildProcess last = StartChild("LogLastLines", dir.path(), {});
    ASSERT_EQ(WaitChild(last), 0);

    std::vector<std::string> fates;  // by the end: 'w' for each line found in the file
    int trims = 0;
    for (int p = 0; p < kWriters; ++p) {
        fates.push_back(ReadFile(dir.file("fates" + std::to_string(p))));
        std::string echoed = ReadFile(dir.file("stdout" + std::to_string(p)));
        for (std::size_t at = echoed.find("Logfile truncated"); at != std::string::npos; at = echoed.find("Logfile truncated", at + 1))
            ++trims;
    }
    std::vector<int> previous(kWriters, -1);
    int torn = 0;
    int out_of_order = 0;
    for (const std::string &line : SplitCrLf(ReadFile(dir.file("navl.log")))) {
        std::string message = StripPrefix(line);
        int writer = -1;
        int n = -1;
        if (ParseWholeLine(message, &writer, &n)) {
            if (n <= previous[writer])
                ++out_of_order;
            previous[writer] = n;
            fates[writer][n] = 'w';  // over a 'd', the trim notice was the line dropped
        } else if (message.rfind("Logfile truncated from ", 0) != 0) {
            ++torn;
        }
    }
    int removed_by_trims = 0;
    int dropped = 0;
    int lost_otherwise = 0;
    for (const std::string &fate : fates) {
        ASSERT_EQ(fate.size(), kWriterLines + 1u);
        ASSERT_EQ(fate.back(), 'w');
        std::size_t first = fate.find('w');
        removed_by_trims += std::count(fate.begin(), fate.begin() + first, '-');
        lost_otherwise += std::count(fate.begin() + first, fate.end(), '-');
        dropped += std::count(fate.begin(), fate.end(), 'd');
    }
    std::printf("[ lines    ] %d trims: %d removed by trims, %d dropped, %d lost otherwise\n", trims,
                removed_by_trims, dropped, lost_otherwise);
    EXPECT_GE(trims, 5);
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(out_of_order, 0);
    EXPECT_EQ(lost_otherwise, 0);
}
