// The log.  A process fixes its level at its first report: the cases of
// other levels run in child processes.
#include <gtest/gtest.h>

#include <algorithm>
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

// Then NAVL_LOGGING changes: only a level still counted unread notices it.
KEEL_CHILD(LogLevels)
{
    const int levels[] = {0, 1, 25, 50, 100, 150};
    for (int level : levels)
        CHILD_REQUIRE(Log_Report(level, "L%d", level) == 0);
    CHILD_REQUIRE(ReportV(200, "V%d", 200) == 0);
    CHILD_REQUIRE(Log_Trace("T") == 0);
    WriteFile("level.txt", std::to_string(global_log_level));
    SetEnvVar("NAVL_LOGGING", "25");
    Log_Report(1, "AFTER");
    return 0;
}

TEST(Log, EnvironmentSetsLevelPrefixAndEcho)
{
    struct LevelCase { const char *name; ChildEnv env; const char *messages; bool thread_id, echo; const char *level; };
    const LevelCase kCases[] = {
        {"neither", {}, "L0", false, false, "0"},
        {"debug 0", {{"NAVL_DEBUG", "0"}}, "L0 / L1 / L25 / L50 / L100 / T / AFTER", true, true, "100"},
        {"logging 25", {{"NAVL_LOGGING", "25"}}, "L0 / L1 / L25 / AFTER", false, false, "25"},
        {"logging read as a leading number", {{"NAVL_LOGGING", " \t+25abc"}}, "L0 / L1 / L25 / AFTER", false, false, "25"},
        {"logging -1: read again", {{"NAVL_LOGGING", "-1"}}, "AFTER", false, false, "-1"},
        {"logging 2^32: clamped", {{"NAVL_LOGGING", "4294967296"}}, "L0 / L1 / L25 / L50 / L100 / L150 / V200 / T / AFTER", true, false, "2147483647"},
    };
    for (const LevelCase &c : kCases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        ChildProcess child = StartChild("LogLevels", dir.path(), c.env);
        ASSERT_EQ(WaitChild(child), 0);
        std::string log = ReadFile(dir.file("navl.log"));
        EXPECT_EQ(ReportsIn(log), c.messages);
        EXPECT_EQ(log.compare(19, 2, " t") == 0, c.thread_id);
        EXPECT_EQ(WithoutCr(ReadFile(dir.file("stdout.txt"))), c.echo ? WithoutCr(log) : "");
        EXPECT_EQ(ReadFile(dir.file("level.txt")), c.level);
    }
}

// The file grows past the limit after the first report's size check; the
// wall clock goes back an hour, the monotonic one on a minute to the ms.
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

// The size check waits for the holder as an append does, ten attempts each
// with a pause, then leaves the file as it is; the line is dropped.
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
// Another account could plant it to have this process truncate a file.
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

bool ParseWholeLine(const std::string &message, int *writer, int *n)
{
    if (std::sscanf(message.c_str(), "writer %d line %d", writer, n) != 2)
        return false;
    char whole[128];
    std::snprintf(whole, sizeof whole, "writer %d line %04d %s", *writer, *n, kPayload);
    return message == whole && *writer >= 0 && *writer < kWriters && *n >= 0 && *n <= kWriterLines;
}

}  // namespace

// A minute on every 100 lines, so that a report checks the size.  Its fates
// mark 'd' each line whose append (or trim notice's) was dropped.
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
// line, less those dropped; one missing below the run was trimmed.
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
    int lost_otherwise = 0;
    for (const std::string &fate : fates) {
        ASSERT_EQ(fate.back(), 'w');
        std::size_t first = fate.find('w');
        lost_otherwise += std::count(fate.begin() + first, fate.end(), '-');
    }
    EXPECT_GE(trims, 5);
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(out_of_order, 0);
    EXPECT_EQ(lost_otherwise, 0);
}
