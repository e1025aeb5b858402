// Network error descriptions, code names and dates, each beside its floor:
// describing a known number against copying the same two texts; writing an
// eleven-character code name against appending the same characters to a
// std::string; a date text against localtime_r and strftime of the same
// fields.
#include <benchmark/benchmark.h>

#include <cstring>
#include <ctime>
#include <string>

#include "util.h"

namespace {

// Known numbers spread over the table, so the lookup is not one path.
const int kKnown[] = {10061, 6, 11004, 10035, 997, 10048, 10109, 10004};
const int kKnownCount = sizeof kKnown / sizeof kKnown[0];

}  // namespace

static void BM_NetErrorDescribeKnown(benchmark::State &state)
{
    char name[128];
    char hint[256];
    int level = 0;
    int i = 0;
    for (auto _ : state) {
        NetError_Describe(kKnown[i], name, sizeof name, hint, sizeof hint, &level);
        benchmark::DoNotOptimize(name);
        benchmark::DoNotOptimize(hint);
        i = (i + 1) % kKnownCount;
    }
}
BENCHMARK(BM_NetErrorDescribeKnown);

// The floor: the same two texts copied, found without a lookup.
static void BM_FloorCopyNameAndHint(benchmark::State &state)
{
    const char *names[kKnownCount] = {"WSAECONNREFUSED", "WSA_INVALID_HANDLE", "WSANO_DATA",
                                      "WSAEWOULDBLOCK",  "WSA_IO_PENDING",     "WSAEADDRINUSE",
                                      "WSATYPE_NOT_FOUND", "WSAEINTR"};
    const char *hints[kKnownCount] = {"Connection refused by target server", "",
                                      "No data available for hostname", "", "",
                                      "The address or port is already in use", "", ""};
    char name[128];
    char hint[256];
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(names[i]);
        std::strcpy(name, names[i]);
        std::strcpy(hint, hints[i]);
        benchmark::DoNotOptimize(name);
        benchmark::DoNotOptimize(hint);
        i = (i + 1) % kKnownCount;
    }
}
BENCHMARK(BM_FloorCopyNameAndHint);

static void BM_CodeNameToStringEleven(benchmark::State &state)
{
    uint32_t code[2];
    if (CodeName_FromName("Abc_xyz012O", code) != 0) {
        state.SkipWithError("the name has no code");
        return;
    }
    CodeName *codename = CodeName_FromCode(code);
    String *s = String_New();
    for (auto _ : state) {
        CodeName_ToString(codename, s);
        benchmark::DoNotOptimize(s->string);
    }
    String_Destroy(s);
    Object_Free(codename);
}
BENCHMARK(BM_CodeNameToStringEleven);

// The peer: the same eleven characters appended one at a time.
static void BM_StdStringAppendEleven(benchmark::State &state)
{
    const char *name = "Abc_xyz012O";
    std::string s;
    for (auto _ : state) {
        s.clear();
        for (int i = 0; i < 11; ++i)
            s.push_back(name[i]);
        benchmark::DoNotOptimize(s.data());
    }
}
BENCHMARK(BM_StdStringAppendEleven);

static void BM_DateFormat(benchmark::State &state)
{
    String *s = String_New();
    time_t when = 1798763400;
    for (auto _ : state) {
        Date_Format(s, when);
        benchmark::DoNotOptimize(s->string);
    }
    String_Destroy(s);
}
BENCHMARK(BM_DateFormat);

// The floor: the same conversion and fields through strftime, into a
// buffer of the caller's.
static void BM_FloorLocaltimeStrftime(benchmark::State &state)
{
    char buf[32];
    time_t when = 1798763400;
    for (auto _ : state) {
        struct tm fields;
        localtime_r(&when, &fields);
        benchmark::DoNotOptimize(strftime(buf, sizeof buf, "%d-%b-%Y", &fields));
    }
}
BENCHMARK(BM_FloorLocaltimeStrftime);
