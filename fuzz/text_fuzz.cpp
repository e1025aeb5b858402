// Fuzz target for the character helpers and both stream readers over
// arbitrary bytes.  The first four bytes choose the widths, the separator
// and the prefix; the rest is the text.  Checked invariants:
// - collapse: no TAB, CR, LF, no space at either end or beside another,
//   and the other bytes unchanged in order;
// - wrap: every line, less its prefix and trailing spaces, fits the width
//   in force (at least 1), and wrapping only drops spaces and inserts line
//   ends and prefixes;
// - split then join gives the text back, in separators plus one pieces;
// - a string stream and a handle stream (fed through a pipe) give back
//   every byte but the line ends, in order, and end where the text does;
// - a logical line never begins or ends with whitespace or a backslash.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include <unistd.h>

#include "util.h"

namespace {

void require(bool ok, const char *what)
{
    if (!ok) {
        fprintf(stderr, "invariant broken: %s\n", what);
        abort();
    }
}

std::string value(const String *s) { return s->bIsSet ? std::string(s->string, s->length) : std::string(); }

bool is_ws(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

std::string without(const std::string &s, const std::string &drop)
{
    std::string out;
    for (char c : s)
        if (drop.find(c) == std::string::npos)
            out += c;
    return out;
}

void check_collapse(const std::string &text)
{
    String *s = String_NewFrom(text.c_str());
    String_CollapseSpaces(s);
    std::string got = value(s);
    require(strlen(s->string) == s->length, "collapse: length");
    require(got.find_first_of("\t\r\n") == std::string::npos, "collapse: whitespace left");
    require(got.find("  ") == std::string::npos, "collapse: double space");
    require(got.empty() || (got.front() != ' ' && got.back() != ' '), "collapse: space at an end");
    require(without(got, " \t\r\n") == without(text, " \t\r\n"), "collapse: other bytes");
    String_Destroy(s);
}

void check_wrap(const std::string &text, int first, int later, const char *prefix)
{
    String *s = String_NewFrom(text.c_str());
    String_Wrap(s, first, later, prefix);
    std::string got = value(s);
    std::string p = prefix ? prefix : "";
    require(without(got, " \r\n" + p) == without(text, " \r\n" + p), "wrap: bytes other than spaces changed");
    size_t at = 0;
    for (int line = 0; at <= got.size(); ++line) {
        size_t end = got.find_first_of("\r\n", at);
        std::string seg = got.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (line > 0) {
            require(seg.compare(0, p.size(), p) == 0, "wrap: prefix missing");
            seg.erase(0, p.size());
        }
        while (!seg.empty() && seg.back() == ' ')
            seg.pop_back();
        int width = line == 0 ? first : later;
        require(seg.size() <= (size_t)(width > 1 ? width : 1), "wrap: line longer than the width");
        if (end == std::string::npos)
            break;
        at = got.find_first_not_of("\r\n", end);
        if (at == std::string::npos)
            at = got.size();
    }
    String_Destroy(s);
}

void check_split_join(const std::string &text, char sep)
{
    Vector *v = ObjectVector_New();
    int32_t n = String_Split(text.c_str(), sep, v);
    size_t seps = sep ? (size_t)std::count(text.begin(), text.end(), sep) : 0;
    require(n == (int32_t)seps + 1 && Vector_Length(v) == n, "split: piece count");
    char sep_text[2] = {sep, '\0'};
    String *out = String_New();
    require(String_Join(v, sep_text, out) == 0 && value(out) == text, "split then join");
    String_Destroy(out);
    Vector_Destroy(v);
}

// The lines a string stream delivers: the pieces between LFs, less a last
// empty piece and an empty piece directly before it.
void check_string_stream(const std::string &text)
{
    std::vector<std::string> want;
    for (size_t at = 0;;) {
        size_t lf = text.find('\n', at);
        want.push_back(text.substr(at, lf == std::string::npos ? std::string::npos : lf - at));
        if (lf == std::string::npos)
            break;
        at = lf + 1;
    }
    if (want.back().empty()) {
        want.pop_back();
        if (!want.empty() && want.back().empty())
            want.pop_back();
    }
    Stream *stream = Stream_OpenString(text.c_str());
    String *line = String_New();
    size_t got = 0;
    while (!Stream_AtEnd(stream)) {
        String_Clear(line);
        Stream_ReadLine(stream, line);
        if (Stream_AtEnd(stream))
            break;
        require(got < want.size() && value(line) == want[got], "string stream: line");
        require(value(stream->lastLine) == value(line), "string stream: lastLine");
        ++got;
    }
    require(got == want.size(), "string stream: line count");
    String_Destroy(line);
    Stream_Destroy(stream);
}

// The lines a handle stream delivers: the pieces between LFs less their
// trailing CRs, then the rest as it is, with the end flag.
void check_handle_stream(const std::string &bytes)
{
    int fds[2];
    if (bytes.size() > 60000 || pipe(fds) != 0)
        return;
    require(write(fds[1], bytes.data(), bytes.size()) == (ssize_t)bytes.size(), "pipe write");
    close(fds[1]);
    Stream *stream = Stream_OpenHandle(fds[0]);
    String *line = String_New();
    size_t at = 0;
    for (;;) {
        Stream_ReadLine(stream, line);
        size_t lf = bytes.find('\n', at);
        if (lf == std::string::npos) {
            require(Stream_AtEnd(stream) && value(line) == bytes.substr(at), "handle stream: last line");
            break;
        }
        std::string want = bytes.substr(at, lf - at);
        while (!want.empty() && want.back() == '\r')
            want.pop_back();
        require(!Stream_AtEnd(stream) && line->bIsSet && value(line) == want, "handle stream: line");
        at = lf + 1;
    }
    Stream_ReadLine(stream, line);
    require(!line->bIsSet, "handle stream: a line after the end");
    String_Destroy(line);
    Stream_Destroy(stream);
    close(fds[0]);
}

void check_logical_lines(const std::string &text)
{
    Stream *stream = Stream_OpenString(text.c_str());
    String *line = String_New();
    for (size_t bound = 0; !Stream_AtEnd(stream) && bound <= text.size() + 1; ++bound) {
        Stream_ReadLogicalLine(stream, line);
        std::string got = value(line);
        require(got.empty() || !is_ws((unsigned char)got.front()), "logical line: leading whitespace");
        require(got.empty() || (!is_ws((unsigned char)got.back()) && got.back() != '\\'), "logical line: end");
    }
    require(Stream_AtEnd(stream), "logical lines: no end");
    String_Destroy(line);
    Stream_Destroy(stream);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const char *const prefixes[] = {nullptr, "", "> ", "  ", "#"};
    if (size < 4)
        return 0;
    int first = (int8_t)data[0], later = (int8_t)data[1];
    char sep = (char)data[2];
    const char *prefix = prefixes[data[3] % 5];
    std::string raw((const char *)data + 4, size - 4);
    std::string text = raw.substr(0, raw.find('\0'));  // as a character array

    check_collapse(text);
    check_wrap(text, first, later, prefix);
    check_split_join(text, sep);
    check_string_stream(text);
    check_handle_stream(raw);
    check_logical_lines(text);
    return 0;
}
