// Streams: string and handle lines, logical lines, descriptors that cannot
// be read, each allocation failing in turn, and bad input.  Handle streams
// read regular files and pipes on every target (C runtime descriptors from
// _open and _pipe on Windows).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "support/alloc_shim.h"
#include "support/child.h"
#include "support/outcome.h"
#include "util.h"

namespace {

#if defined(_WIN32)
int OpenFile(const std::string &path, bool write) { return _open(path.c_str(), (write ? _O_WRONLY : _O_RDONLY) | _O_BINARY); }
void CloseFd(int fd) { _close(fd); }

int PipeHolding(const std::string &bytes)  // the read end; the write end is closed
{
    int fds[2];
    if (_pipe(fds, 65536, _O_BINARY) != 0)
        return -1;
    _write(fds[1], bytes.data(), static_cast<unsigned>(bytes.size()));
    _close(fds[1]);
    return fds[0];
}
#else
int OpenFile(const std::string &path, bool write) { return open(path.c_str(), write ? O_WRONLY : O_RDONLY); }
void CloseFd(int fd) { close(fd); }

int PipeHolding(const std::string &bytes)  // the read end; the write end is closed
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    if (write(fds[1], bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        return -1;
    close(fds[1]);
    return fds[0];
}
#endif

// A descriptor over the bytes: a regular file in `dir`, or a pipe.
int Source(const TempDir &dir, const std::string &bytes, bool pipe)
{
    if (pipe)
        return PipeHolding(bytes);
    WriteFile(dir.file("input"), bytes);
    return OpenFile(dir.file("input"), false);
}

std::string Shown(const String *line)  // "[value]", NULs included, or "(unset)"
{
    return line->bIsSet ? "[" + std::string(line->string, line->length) + "]" : "(unset)";
}

// Reads with Stream_ReadLine (or the logical reader) until the end and once
// more; each read as "[line]" or "(unset)", with " end" once at the end.
std::vector<std::string> ReadAll(Stream *stream, bool logical)
{
    std::vector<std::string> reads;
    String *line = String_New();
    for (int bound = 0; bound < 100; ++bound) {
        bool was_at_end = Stream_AtEnd(stream);
        if (logical)
            Stream_ReadLogicalLine(stream, line);
        else
            Stream_ReadLine(stream, line);
        reads.push_back(Shown(line) + (Stream_AtEnd(stream) ? " end" : ""));
        if (!logical) {
            EXPECT_EQ(Shown(stream->lastLine), Shown(line)) << "lastLine after read " << reads.size();
        }
        if (was_at_end)
            break;
    }
    String_Destroy(line);
    return reads;
}

}  // namespace

TEST(Stream, StringLinesKeepTheirCrAndDropAnEmptyLastLine)
{
    struct Case { const char *text; std::vector<std::string> reads; };  // "[line] count"; untouched shows (same)
    const Case cases[] = {
        {"a\r\nb", {"[a\r] 2", "[b] 1", "[(same)] 0 end"}},
        {"a\n\nb", {"[a] 1", "[] 0", "[b] 1", "[(same)] 0 end"}},
        {"a\n\n", {"[a] 1", "[(same)] 0 end"}},
        {"", {"[(same)] 0 end"}},
        {nullptr, {"[(same)] 0 end"}},
    };
    for (const Case &c : cases) {
        Stream *stream = Stream_OpenString(c.text);
        String *line = String_New();
        std::vector<std::string> reads;
        while (!Stream_AtEnd(stream) && reads.size() < 10) {
            String_Set(line, "(same)");
            int32_t count = stream->reader(stream, line);
            reads.push_back(Shown(line) + " " + std::to_string(count) + (Stream_AtEnd(stream) ? " end" : ""));
        }
        EXPECT_EQ(reads, c.reads) << (c.text ? c.text : "(null)");
        String_Destroy(line);
        Stream_Destroy(stream);
    }
}

TEST(Stream, HandleLinesFromFilesAndPipes)
{
    const std::string q300(300, 'q'), m1000(1000, 'm');
    struct Case { std::string bytes; std::vector<std::string> reads; };
    const Case cases[] = {
        {"x\r\n", {"[x]", "[] end", "(unset) end"}},
        {"abc", {"[abc] end", "(unset) end"}},
        {"", {"[] end", "(unset) end"}},
        {"a\n\nb\r\n", {"[a]", "[]", "[b]", "[] end", "(unset) end"}},
        {std::string("a\0b\r\r\nc\r", 8), {std::string("[a\0b]", 5), "[c\r] end", "(unset) end"}},
        {q300 + "\nz", {"[" + q300 + "]", "[z] end", "(unset) end"}},
        {m1000 + "\r\ntail\n", {"[" + m1000 + "]", "[tail]", "[] end", "(unset) end"}},  // across 8 reads
    };
    TempDir dir;
    for (bool pipe : {false, true}) {
        for (const Case &c : cases) {
            int fd = Source(dir, c.bytes, pipe);
            ASSERT_GT(fd, 0);
            Stream *stream = Stream_OpenHandle(fd);
            EXPECT_EQ(ReadAll(stream, false), c.reads) << (pipe ? "pipe: " : "file: ") << c.bytes.substr(0, 20);
            Stream_Destroy(stream);
            CloseFd(fd);  // the stream left it open
        }
    }
}

TEST(Stream, LogicalLinesJoinContinuationsOnEitherSource)
{
    struct Case { const char *text; std::vector<std::string> reads; };
    const Case cases[] = {
        {"key = a \\\n   b\nnext\n", {"[key = a b]", "[next]", "[] end", "(unset) end"}},
        {"a\\\n\nb\n", {"[a]", "[b]", "[] end", "(unset) end"}},
        {"x \\ \\\t\\\ny\n", {"[x y]", "[] end", "(unset) end"}},
        {"a\\b c\n", {"[a\\b c]", "[] end", "(unset) end"}},
        {" \t\v\f\n\\\n\v z\f\n", {"[]", "[z]", "[] end", "(unset) end"}},
        {"a \\\n", {"[a] end", "(unset) end"}},  // the last line is not taken twice
    };
    TempDir dir;
    for (bool handle : {false, true}) {
        for (const Case &c : cases) {
            int fd = handle ? Source(dir, c.text, false) : -1;
            Stream *stream = handle ? Stream_OpenHandle(fd) : Stream_OpenString(c.text);
            EXPECT_EQ(ReadAll(stream, true), c.reads) << (handle ? "handle: " : "string: ") << c.text;
            Stream_Destroy(stream);
            if (handle)
                CloseFd(fd);
        }
    }
}

TEST(Stream, DescriptorsThatCannotBeReadEndTheStream)
{
    TempDir dir;
    WriteFile(dir.file("input"), "never read\n");
    int write_only = OpenFile(dir.file("input"), true);
    int closed = OpenFile(dir.file("input"), false);
    CloseFd(closed);
    const std::string kRefused = " <Assertion failed: stream->handle != 0>";
    struct Case { int fd; std::vector<std::string> reads; std::string reports; };
    const Case cases[] = {
        {0, {"(unset) end"}, kRefused + kRefused + kRefused},  // at-end test, read, at-end test
        {closed, {"[] end", "(unset) end"}, " <Unable to read descriptor " + std::to_string(closed) + ": error 9>"},
        {write_only, {"[] end", "(unset) end"}, " <Unable to read descriptor " + std::to_string(write_only) + ": error 9>"},
    };
    SweepOutcome outcome;
    for (const Case &c : cases) {
        Stream *stream = Stream_OpenHandle(c.fd);
        EXPECT_EQ(ReadAll(stream, false), c.reads) << "descriptor " << c.fd;
        EXPECT_EQ(outcome.Since(), c.reports) << "descriptor " << c.fd;
        Stream_Destroy(stream);
    }
    CloseFd(write_only);
}

// What each operation leaves with each allocation failing in turn: the
// line, lastLine and what the next logical read gives.
struct StreamFixture {
    int fd = -1;
    Stream *stream = nullptr;
    String *line = nullptr;
};

void Clear(StreamFixture &f)
{
    if (f.stream)
        Stream_Destroy(f.stream);
    if (f.fd >= 0)
        CloseFd(f.fd);
    if (f.line)
        String_Destroy(f.line);
    f = StreamFixture();
}

void LineOnly(StreamFixture &f) { f.line = String_New(); }

void OverText(StreamFixture &f)
{
    f.line = String_New();
    f.stream = Stream_OpenString("key = a \\\n   b\nnext\n");
}

void OverPipe(StreamFixture &f)
{
    f.line = String_New();
    f.fd = PipeHolding("line\n");
}

void OverLongLine(StreamFixture &f)
{
    f.line = String_New();
    f.fd = PipeHolding(std::string(300, 'q') + "\nz");
    f.stream = Stream_OpenHandle(f.fd);
}

std::string Short(const std::string &shown) { return shown.size() > 20 ? shown.substr(0, 4) + "..." : shown; }

std::string Describe(StreamFixture &f)
{
    if (!f.stream)
        return "(null)";
    std::string read = Short(Shown(f.line)) + " " + Short(Shown(f.stream->lastLine));
    Stream_ReadLogicalLine(f.stream, f.line);
    return read + " then " + Shown(f.line);
}

#define MALLOC_FAILED " [999 malloc failed!]"
#define NO_STRING " <Unable to allocate String ps>"

TEST(Stream, EveryOperationWithEachAllocationFailingInTurn)
{
    SweepRows<StreamFixture>({
        {LineOnly, [](StreamFixture &f) { f.stream = Stream_OpenString("a\nb"); },
         Describe, {"(null) <Unable to allocate Stream stream>", "(null)" NO_STRING, "(null)" NO_STRING,
                    "(null) <Unable to malloc 4 bytes>", "(unset) (unset) then [a]"}},
        {OverPipe, [](StreamFixture &f) { f.stream = Stream_OpenHandle(f.fd); },
         Describe, {"(null) <Unable to allocate Stream stream>", "(null)" NO_STRING, "(unset) (unset) then [line]"}},
        {OverText, [](StreamFixture &f) { Stream_ReadLine(f.stream, f.line); },
         Describe, {"(unset) (unset) then [b]" MALLOC_FAILED,
                    "[key = a \\] (unset) then [b]" MALLOC_FAILED " <Unable to malloc 10 bytes>",
                    "[key = a \\] [key = a \\] then [b]"}},
        {OverLongLine, [](StreamFixture &f) { Stream_ReadLine(f.stream, f.line); },  // gathered, set, copied
         Describe, {"(unset) (unset) then [z]" MALLOC_FAILED, "(unset) (unset) then [z]" MALLOC_FAILED,
                    "[qqq... (unset) then [z]" MALLOC_FAILED " <Unable to malloc 301 bytes>",
                    "[qqq... [qqq... then [z]"}},
        {OverText, [](StreamFixture &f) { Stream_ReadLogicalLine(f.stream, f.line); },
         Describe, {"(unset) (unset) then [key = a b]" NO_STRING,
                    "(unset) (unset) then [b]" MALLOC_FAILED,  // a lost physical line ends the logical one
                    "[key = a b] [   b] then [next]" MALLOC_FAILED " <Unable to malloc 10 bytes>",
                    "(unset) (unset) then [next]" MALLOC_FAILED,
                    "[key = a b] (unset) then [next]" MALLOC_FAILED " <Unable to malloc 5 bytes>",
                    "(unset) [   b] then [next]" MALLOC_FAILED,
                    "[key = a b] [   b] then [next]"}},
    }, Clear);
}

TEST(Stream, BadInputIsReportedAndConsumesNothing)
{
    Stream *text = Stream_OpenString("first\nsecond\n");
    Stream *damaged = Stream_OpenString("x");
    damaged->type = 7;
    String *line = String_NewFrom("old");
    struct Row { std::function<void()> call; const char *left; };
    const Row rows[] = {
        {[&] { Stream_ReadLine(nullptr, line); }, "(unset) <Assertion failed: stream != NULL>"},
        {[&] { Stream_ReadLogicalLine(nullptr, line); }, "(unset) <Assertion failed: stream != NULL>"},
        {[&] { Stream_ReadLine(text, nullptr); }, "(unset) <Assertion failed: ps != NULL>"},
        {[&] { Stream_ReadLogicalLine(text, nullptr); }, "(unset) <Assertion failed: ps != NULL>"},
        {[&] { Stream_ReadHandleLine(text, line); }, "(unset) <Assertion failed: stream->type == HANDLE_STREAM>"},
        {[&] { Stream_ReadLine(damaged, line); }, "(unset) <Assertion failed: 0>"},
        {[&] { String_Set(line, Stream_AtEnd(nullptr) ? "at end" : "not at end"); }, "[at end] <Assertion failed: stream != NULL>"},
        {[&] { String_Set(line, Stream_AtEnd(damaged) ? "at end" : "not at end"); }, "[at end] <Assertion failed: 0>"},
        {[&] { Stream_Destroy(nullptr); }, "[at end] <Assertion failed: stream != NULL>"},
        {[&] { Stream_ReadLine(text, line); }, "[first]"},  // nothing was consumed
    };
    SweepOutcome outcome;
    for (const Row &row : rows) {
        row.call();
        EXPECT_EQ(Shown(line) + outcome.Since(), row.left) << "row " << &row - rows;
    }
    String_Destroy(line);
    damaged->type = STRING_STREAM;
    Stream_Destroy(damaged);
    Stream_Destroy(text);
}
