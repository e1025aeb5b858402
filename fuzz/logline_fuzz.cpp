// Fuzz target for the forming of log lines: messages of arbitrary bytes and
// lengths, each reported as Log_Report(level, "%s", message) into navl.log
// of a private temporary folder (the format is always "%s": the layer
// makes no promise for arbitrary formats).
//
// The first byte chooses the prefix form: level 0's "dd/MM/yyyy HH:mm:ss: "
// or level 100's "dd/MM/yyyy HH:mm:ss tXXXXXXXX : ".  The rest is split at
// its NUL bytes into at most kMaxReports pieces, one message each: a
// piece's first byte p puts 4p dots (0 to 1016; 255 puts 100,000) before
// the rest of the piece, so that the fuzzer reaches the cut at the end of
// a line and messages far past it.  Checked on the file:
// - it ends with CR LF, and every line in it is at most 1023 characters
//   before its CR LF;
// - it holds the reports in order, each whole: a prefix of the chosen form,
//   then the message cut so that prefix, message and line end fit 1023
//   characters, every LF of it written as CR LF, then CR LF.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "util.h"

namespace {

// Few enough that the file stays far below the trim's 128 KiB limit.
const size_t kMaxReports = 64;
const size_t kMaxLine = 1023;  // characters of a line, its line end included

const size_t kHugePad = 100000;

int g_home = -1;        // the folder the fuzzer was started in
std::string g_folder;   // where navl.log is written

void require(bool ok, const char *what)
{
    if (!ok) {
        fprintf(stderr, "invariant broken: %s\n", what);
        abort();
    }
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_hex(char c) { return is_digit(c) || (c >= 'a' && c <= 'f'); }

// Whether text holds at `at` a prefix of the form `shape`: '9' stands for
// a digit, 'f' for a lower-case hex digit, any other character for itself.
bool has_prefix(const std::string &text, size_t at, const char *shape)
{
    size_t n = strlen(shape);
    if (text.size() - at < n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        char c = text[at + i];
        bool ok = shape[i] == '9' ? is_digit(c) : shape[i] == 'f' ? is_hex(c) : c == shape[i];
        if (!ok)
            return false;
    }
    return true;
}

// What the file must hold after the prefix: the message cut to what a line
// of kMaxLine characters leaves, each LF written as CR LF, then CR LF.
std::string expected_rest(const std::string &message, size_t prefix_len)
{
    std::string cut = message.substr(0, kMaxLine - 1 - prefix_len);
    std::string out;
    for (char c : cut) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out + "\r\n";
}

void check_lines(const std::string &file)
{
    require(file.size() >= 2 && file.compare(file.size() - 2, 2, "\r\n") == 0, "file ends with CR LF");
    size_t at = 0;
    while (at < file.size()) {
        size_t end = file.find("\r\n", at);
        require(end - at <= kMaxLine - 1, "line at most 1023 characters with its line end");
        at = end + 2;
    }
}

std::string read_log()
{
    std::string bytes;
    FILE *f = fopen("navl.log", "rb");
    if (!f)
        return bytes;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        bytes.append(buf, n);
    fclose(f);
    return bytes;
}

void remove_folder() { rmdir(g_folder.c_str()); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    unsetenv("NAVL_DEBUG");
    unsetenv("NAVL_LOGGING");
    char folder[] = "/tmp/keel-fuzz-logline-XXXXXX";
    require(mkdtemp(folder) != nullptr, "temporary folder");
    g_folder = folder;
    atexit(remove_folder);
    g_home = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    require(g_home != -1, "open the start folder");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    bool with_thread = data[0] & 1;
    const char *shape = with_thread ? "99/99/9999 99:99:99 tffffffff : " : "99/99/9999 99:99:99: ";
    size_t prefix_len = strlen(shape);
    std::vector<std::string> messages;
    std::string rest((const char *)data + 1, size - 1);
    for (size_t at = 0; at <= rest.size() && messages.size() < kMaxReports;) {
        size_t nul = rest.find('\0', at);
        if (nul == std::string::npos)
            nul = rest.size();
        std::string piece = rest.substr(at, nul - at);
        at = nul + 1;
        size_t pad = piece.empty() ? 0 : (unsigned char)piece[0];
        pad = pad == 255 ? kHugePad : 4 * pad;
        messages.push_back(std::string(pad, '.') + (piece.empty() ? piece : piece.substr(1)));
    }

    // libFuzzer reads and writes its corpus by relative paths: the folder
    // is changed only for the reports and the reading of the file.
    require(chdir(g_folder.c_str()) == 0, "enter the temporary folder");
    unlink("navl.log");
    int level = with_thread ? 100 : 0;
    for (const std::string &message : messages) {
        global_log_level = level;
        Log_Report(level, "%s", message.c_str());
    }
    std::string file = read_log();
    unlink("navl.log");
    require(fchdir(g_home) == 0, "leave the temporary folder");

    check_lines(file);
    size_t at = 0;
    for (const std::string &message : messages) {
        require(has_prefix(file, at, shape), "prefix");
        at += prefix_len;
        std::string want = expected_rest(message, prefix_len);
        require(file.compare(at, want.size(), want) == 0, "message cut and written whole");
        at += want.size();
    }
    require(at == file.size(), "nothing but the reports");
    return 0;
}
