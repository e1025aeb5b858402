// Streams: string lines, logical lines, and handle lines from files, pipes
// and descriptor 0 (on Windows the C runtime's).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/child.h"
#include "support/descriptors.h"
#include "support/outcome.h"

// The lines read until the stream is at its end, each into an unset String;
// lastLine copies each physical line, and the reader past the end gives 0.
static std::vector<std::string> LinesUntilEnd(Stream *stream, bool logical)
{
    std::vector<std::string> lines;
    String *line = String_New();
    while (!Stream_AtEnd(stream) && lines.size() < 100) {
        String_Clear(line);
        if (logical) {
            Stream_ReadLogicalLine(stream, line);
        } else {
            Stream_ReadLine(stream, line);
            EXPECT_EQ(ValueOf(stream->lastLine), ValueOf(line)) << "lastLine after read " << lines.size() + 1;
        }
        lines.push_back(ValueOf(line));
    }
    EXPECT_EQ(stream->reader(stream, line), 0) << "the reader past the end";
    String_Destroy(line);
    return lines;
}

TEST(Stream, StringLinesKeepTheirCrAndLogicalLinesJoinContinuations)
{
    struct Case { const char *text; bool logical; std::vector<std::string> lines; };
    const Case cases[] = {
        {"a\r\nb", false, {"a\r", "b", "(unset)"}},  // the read that meets the end delivers nothing
        {"a\n\n", false, {"a", "(unset)"}},
        {"ab\ncd", false, {"ab", "cd", "(unset)"}},  // lastLine takes a line of its length in place
        {nullptr, false, {"(unset)"}},
        {"key = a \\\n   b\nnext\n", true, {"key = a b", "next", ""}},
        {"a\\\n\nb\n", true, {"a", "b", ""}},  // a blank line ends a continuation
        {" \t\v\f\n\\\n\v z\f\n", true, {"", "z", ""}},
        {"a \\\n", true, {"a"}},  // the last line is not taken twice
    };
    for (const Case &c : cases) {
        Stream *stream = Stream_OpenString(c.text);
        EXPECT_EQ(LinesUntilEnd(stream, c.logical), c.lines) << (c.text ? c.text : "(null)");
        Stream_Destroy(stream);
    }
    Stream *blank = Stream_OpenString("\n\n");
    EXPECT_EQ(blank->reader(blank, blank->lastLine), 0);  // an empty line has length 0
    Stream_Destroy(blank);
}

TEST(Stream, HandleLinesFromFilesAndPipes)
{
    const std::string m1000(1000, 'm');
    struct Case { std::string bytes; std::vector<std::string> lines; };
    const Case cases[] = {
        {"x\r\n", {"x", ""}},  // the read that meets the end gives what it gathered, at least ""
        {std::string("a\0b\r\r\nc\r", 8), {std::string("a\0b", 3), "c\r"}},
        {m1000 + "\r\ntail\n", {m1000, "tail", ""}},  // across 8 reads of 128 bytes
        {std::string(200, '\r') + "\n", {"", ""}},  // CRs only, across two reads
    };
    TempDir dir;
    for (bool pipe : {false, true}) {
        for (const Case &c : cases) {
            WriteFile(dir.file("input"), c.bytes);
            int fd = pipe ? PipeHolding(c.bytes) : open(dir.file("input").c_str(), O_RDONLY | O_BINARY);
            Stream *stream = Stream_OpenHandle(fd);
            EXPECT_EQ(LinesUntilEnd(stream, false), c.lines) << (pipe ? "pipe: " : "file: ") << c.bytes.substr(0, 20);
            Stream_Destroy(stream);
            close(fd);  // the stream left it open
        }
    }
}

TEST(Stream, DescriptorZeroIsRefusedAndAReadErrorIsTheEnd)
{
    ReportsAndRecords told;
    Stream *zero = Stream_OpenHandle(0);
    EXPECT_EQ(Stream_AtEnd(zero), 1);
    EXPECT_EQ(told.Since(), " <Assertion failed: stream->handle != 0>");
    Stream_Destroy(zero);

    TempDir dir;
    WriteFile(dir.file("input"), "never read\n");
    int write_only = open(dir.file("input").c_str(), O_WRONLY | O_BINARY);
    Stream *unreadable = Stream_OpenHandle(write_only);
    EXPECT_EQ(LinesUntilEnd(unreadable, false), std::vector<std::string>{""});
    EXPECT_EQ(told.Since(), " <Unable to read descriptor " + std::to_string(write_only) + ": error 9>");
    Stream_Destroy(unreadable);
    close(write_only);
}
