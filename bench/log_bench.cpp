// The log's costs, each beside its floor: a report filtered out by level
// beside the bare inline level test, and a written line beside a bare open,
// seek, write and close of the same bytes.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "util.h"

// A report filtered out by level, with two arguments: the entry tests the
// level before it sets up its argument list.
static void BM_LogReportFilteredOut(benchmark::State &state)
{
    Log_Report(0, "level is known from here on");
    for (auto _ : state)
        Log_Report(50, "filtered out %d %s", 42, "twice");
}
BENCHMARK(BM_LogReportFilteredOut);

// Its floor: the bare level test a caller could write inline, reading
// global_log_level afresh each time.
static void BM_LevelTestInline(benchmark::State &state)
{
    Log_Report(0, "level is known from here on");
    for (auto _ : state) {
        if (50 <= global_log_level)
            Log_Report(50, "filtered out %d %s", 42, "twice");
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_LevelTestInline);

static void BM_LogTraceGuardedOff(benchmark::State &state)
{
    Log_Report(0, "level is known from here on");
    for (auto _ : state) {
        if (global_log_level == 100 || global_log_level == -1)
            Log_Trace("trace %d", 42);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_LogTraceGuardedOff);

static void BM_LogReportWritten(benchmark::State &state)
{
    unlink("navl.log");
    for (auto _ : state)
        Log_Report(0, "a written line of about sixty bytes %d", 42);
}
BENCHMARK(BM_LogReportWritten);

// The same bytes as a written line: time stamp, message, CR LF.
static void BM_FloorOpenSeekWriteClose(benchmark::State &state)
{
    const char line[] = "06/12/2026 10:00:00: a written line of about sixty bytes 42\r\n";
    unlink("floor.log");
    for (auto _ : state) {
        int fd = open("floor.log", O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
        lseek(fd, 0, SEEK_END);
        benchmark::DoNotOptimize(write(fd, line, sizeof line - 1));
        close(fd);
    }
}
BENCHMARK(BM_FloorOpenSeekWriteClose);
