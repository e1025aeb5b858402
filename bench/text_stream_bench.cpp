// The character helpers and the handle stream: collapse and lower-case
// against a plain ASCII loop over the same bytes; split + join and wrap
// 72/72 in MB/s; wrap, join and one long handle-stream line at 1 and 10 MiB
// (their ratio shows linearity); 20 MiB of 80-byte lines through a handle
// stream against bare 128-byte reads of the same file.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "util.h"

namespace {

const int64_t kMiB = 1 << 20;

// n bytes of words (mixed case, 1 to 12 letters) between single spaces,
// with now and then a TAB, a double space or a CR LF.
std::string MakeText(int64_t n)
{
    std::string text;
    text.reserve(static_cast<size_t>(n));
    uint32_t seed = 12345;
    while (static_cast<int64_t>(text.size()) < n) {
        seed = seed * 1103515245u + 12345u;
        int letters = 1 + (seed >> 16) % 12;
        for (int i = 0; i < letters; ++i)
            text += static_cast<char>(((seed >> (i % 8)) & 1 ? 'A' : 'a') + (seed >> 8) % 26);
        uint32_t gap = (seed >> 24) % 32;
        text += gap == 0 ? "\t" : gap == 1 ? "  " : gap == 2 ? "\r\n" : " ";
    }
    text.resize(static_cast<size_t>(n));
    return text;
}

const std::string &Text(int64_t n)
{
    static std::string one = MakeText(kMiB), ten = MakeText(10 * kMiB);
    return n == kMiB ? one : ten;
}

// A file of `bytes` in the benchmark's working directory, made once.
const char *FileOf(const std::string &name, const std::string &bytes)
{
    static std::vector<std::string> made;
    for (const std::string &m : made)
        if (m == name)
            return m.c_str();
    int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        abort();
    close(fd);
    made.push_back(name);
    return made.back().c_str();
}

const char *LinesFile()  // 20 MiB of 79 characters and an LF
{
    std::string line(79, 'x');
    line += '\n';
    std::string all;
    for (int64_t i = 0; i < 20 * kMiB / 80; ++i)
        all += line;
    return FileOf("lines.txt", all);
}

bool IsBlank(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

static void BM_CollapseSpaces(benchmark::State &state)
{
    const std::string &text = Text(kMiB);
    String *s = String_New();
    for (auto _ : state) {
        state.PauseTiming();
        String_SetN(s, text.data(), static_cast<uint32_t>(text.size()));
        state.ResumeTiming();
        String_CollapseSpaces(s);
        benchmark::DoNotOptimize(s->length);
    }
    state.SetBytesProcessed(state.iterations() * kMiB);
    String_Destroy(s);
}
BENCHMARK(BM_CollapseSpaces)->Unit(benchmark::kMicrosecond);

// The floor: the same collapse as a plain loop over a copy of the bytes.
static void BM_PlainCollapseLoop(benchmark::State &state)
{
    const std::string &text = Text(kMiB);
    std::vector<char> buf(text.size() + 1);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(buf.data(), text.data(), text.size() + 1);
        state.ResumeTiming();
        size_t w = 0;
        bool after_space = true;
        for (size_t r = 0; r < text.size(); ++r) {
            unsigned char c = static_cast<unsigned char>(buf[r]);
            if (!IsBlank(c)) {
                buf[w++] = static_cast<char>(c);
                after_space = false;
            } else if (!after_space) {
                buf[w++] = ' ';
                after_space = true;
            }
        }
        if (w > 0 && after_space)
            --w;
        buf[w] = '\0';
        benchmark::DoNotOptimize(w);
    }
    state.SetBytesProcessed(state.iterations() * kMiB);
}
BENCHMARK(BM_PlainCollapseLoop)->Unit(benchmark::kMicrosecond);

static void BM_ToLower(benchmark::State &state)
{
    const std::string &text = Text(kMiB);
    String *s = String_New();
    for (auto _ : state) {
        state.PauseTiming();
        String_SetN(s, text.data(), static_cast<uint32_t>(text.size()));
        state.ResumeTiming();
        String_ToLower(s);
        benchmark::DoNotOptimize(s->string);
    }
    state.SetBytesProcessed(state.iterations() * kMiB);
    String_Destroy(s);
}
BENCHMARK(BM_ToLower)->Unit(benchmark::kMicrosecond);

static void BM_PlainToLowerLoop(benchmark::State &state)
{
    const std::string &text = Text(kMiB);
    std::vector<char> buf(text.size() + 1);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(buf.data(), text.data(), text.size() + 1);
        state.ResumeTiming();
        for (size_t i = 0; i < text.size(); ++i) {
            unsigned char c = static_cast<unsigned char>(buf[i]);
            buf[i] = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
        benchmark::DoNotOptimize(buf.data());
    }
    state.SetBytesProcessed(state.iterations() * kMiB);
}
BENCHMARK(BM_PlainToLowerLoop)->Unit(benchmark::kMicrosecond);

static void BM_SplitJoin(benchmark::State &state)
{
    const std::string &text = Text(kMiB);
    String *out = String_New();
    for (auto _ : state) {
        Vector *v = ObjectVector_New();
        String_Split(text.c_str(), ' ', v);
        String_Join(v, " ", out);
        Vector_Destroy(v);
        benchmark::DoNotOptimize(out->length);
    }
    state.SetBytesProcessed(state.iterations() * kMiB);
    String_Destroy(out);
}
BENCHMARK(BM_SplitJoin)->Unit(benchmark::kMillisecond);

// Join alone, at 1 and 10 MiB of pieces.
static void BM_Join(benchmark::State &state)
{
    const std::string &text = Text(state.range(0));
    Vector *v = ObjectVector_New();
    String_Split(text.c_str(), ' ', v);
    String *out = String_New();
    for (auto _ : state) {
        String_Join(v, " ", out);
        benchmark::DoNotOptimize(out->length);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
    String_Destroy(out);
    Vector_Destroy(v);
}
BENCHMARK(BM_Join)->Arg(kMiB)->Arg(10 * kMiB)->Unit(benchmark::kMillisecond);

static void BM_Wrap(benchmark::State &state)
{
    const std::string &text = Text(state.range(0));
    String *s = String_New();
    for (auto _ : state) {
        state.PauseTiming();
        String_SetN(s, text.data(), static_cast<uint32_t>(text.size()));
        state.ResumeTiming();
        String_Wrap(s, 72, 72, nullptr);
        benchmark::DoNotOptimize(s->length);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
    String_Destroy(s);
}
BENCHMARK(BM_Wrap)->Arg(kMiB)->Arg(10 * kMiB)->Unit(benchmark::kMillisecond);

// One line of range(0) bytes and its LF through a handle stream.
static void BM_HandleSingleLine(benchmark::State &state)
{
    std::string line(static_cast<size_t>(state.range(0)), 'y');
    line += '\n';
    const char *file = FileOf("line" + std::to_string(state.range(0)) + ".txt", line);
    String *got = String_New();
    for (auto _ : state) {
        int fd = open(file, O_RDONLY);
        Stream *stream = Stream_OpenHandle(fd);
        Stream_ReadLine(stream, got);
        benchmark::DoNotOptimize(got->length);
        Stream_Destroy(stream);
        close(fd);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
    String_Destroy(got);
}
BENCHMARK(BM_HandleSingleLine)->Arg(kMiB)->Arg(10 * kMiB)->Unit(benchmark::kMillisecond);

static void BM_HandleStreamLines(benchmark::State &state)
{
    const char *file = LinesFile();
    String *line = String_New();
    for (auto _ : state) {
        int fd = open(file, O_RDONLY);
        Stream *stream = Stream_OpenHandle(fd);
        int64_t lines = 0;
        while (!Stream_AtEnd(Stream_ReadLine(stream, line)))
            ++lines;
        benchmark::DoNotOptimize(lines);
        Stream_Destroy(stream);
        close(fd);
    }
    state.SetBytesProcessed(state.iterations() * 20 * kMiB);
    String_Destroy(line);
}
BENCHMARK(BM_HandleStreamLines)->Unit(benchmark::kMillisecond);

// The floor: bare 128-byte reads of the same file.
static void BM_BareRead128(benchmark::State &state)
{
    const char *file = LinesFile();
    char buf[128];
    for (auto _ : state) {
        int fd = open(file, O_RDONLY);
        int64_t total = 0;
        ssize_t got;
        while ((got = read(fd, buf, sizeof buf)) > 0)
            total += got;
        benchmark::DoNotOptimize(total);
        close(fd);
    }
    state.SetBytesProcessed(state.iterations() * 20 * kMiB);
}
BENCHMARK(BM_BareRead128)->Unit(benchmark::kMillisecond);
