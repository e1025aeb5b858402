// Streams: string and handle lines, logical lines, and descriptors that
// cannot be read.  Handle streams read regular files and pipes on every
// target (C runtime descriptors from _open and _pipe on Windows).  Their
// allocation failures and bad input: text_stream_failures_test.cpp.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/child.h"
#include "support/descriptors.h"
#include "support/outcome.h"
#include "util.h"

namespace {

// A descriptor over the bytes: a regular file in `dir`, or a pipe.
int Source(const TempDir &dir, const std::string &bytes, bool pipe)
{
    if (pipe)
        return PipeHolding(bytes);
    WriteFile(dir.file("input"), bytes);
    return OpenDescriptor(dir.file("input"), false);
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
            CloseDescriptor(fd);  // the stream left it open
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
                CloseDescriptor(fd);
        }
    }
}

TEST(Stream, DescriptorsThatCannotBeReadEndTheStream)
{
    TempDir dir;
    WriteFile(dir.file("input"), "never read\n");
    int write_only = OpenDescriptor(dir.file("input"), true);
    int closed = OpenDescriptor(dir.file("input"), false);
    CloseDescriptor(closed);
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
    CloseDescriptor(write_only);
}
