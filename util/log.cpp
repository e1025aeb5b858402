// log.cpp - the log: the level filter, the forming of a line, its shared
// append to "navl.log", the debug echo and the once-a-minute trim.
//
// Rules kept here:
// - global_log_lock is the innermost lock of the layer: nothing here takes
//   another lock while holding it, and nothing here touches the error store.
// - The lock is recursive and relied upon twice: Log_CheckSize enters it
//   again, and the trim's notice re-enters Log_ReportV.
// - The two working buffers (message and line) live on the caller's stack,
//   so a report never allocates and never fails for want of memory.
// - Once the level is known, a filtered-out report costs one relaxed read of
//   global_log_level: each entry tests the level before it sets up its
//   argument list; no lock, no allocation, no system call.
// - The trim reads and rewrites the file through one open that excludes
//   every writer of every process, and is skipped while another writer
//   holds the file: no other process's line is lost, doubled or torn by it.
// - The once-a-minute size check runs on the monotonic clock, so setting
//   the wall clock back cannot stop it.
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "log_internal.h"
#include "platform.h"
#include "runtime.h"
#include "scoped_lock.h"
#include "util.h"

int global_log_level = -1;
Lock global_log_lock;

extern "C" int keel_entry_anchor;

namespace {

const size_t kWorkBuffer = 1024;   // message and line: at most 1023 characters
const size_t kStampBuffer = 64;
const int kOpenAttempts = 10;
const long kSizeLimitKb = 128;
const uint64_t kSizeLimit = kSizeLimitKb * 1024;
const size_t kHalfLimit = kSizeLimit / 2;
const int64_t kCheckIntervalMs = 60 * 1000;

std::atomic<int> g_ready{0};   // 1 between Log_Startup and Log_Shutdown
std::atomic<int> g_in_progress{0};  // reports past the ready check
int g_env_level = -1;          // -1: the environment has not been read
int g_echo = 0;
const char g_file_name[512] = "navl.log";
bool g_size_checked = false;   // false: the first written report checks
int64_t g_last_check_ms = 0;   // monotonic time of the last size check
std::atomic<uint32_t> g_dropped{0};

// Pulls the library's attach and detach into every program that reports,
// also when it links the static library.
__attribute__((used)) int *const g_entry_anchor = &keel_entry_anchor;

int level_now() { return __atomic_load_n(&global_log_level, __ATOMIC_RELAXED); }

// True when the level is known and the report's level is above it.  Every
// entry tests this first, before it touches its arguments.
inline bool filtered_out(int level)
{
    int known = level_now();
    return known != -1 && level > known;
}

// NAVL_LOGGING read as atoi reads it (leading blanks, a sign, the digits up
// to the first other character; no digits give 0), except that a number
// beyond an int is clamped to INT_MIN or INT_MAX, where atoi's result is
// undefined.
int parse_level(const char *text)
{
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    const long long kBeyond = (long long)INT_MAX + 1;  // -kBeyond is INT_MIN
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > kBeyond)
            value = kBeyond;
    }
    if (negative)
        return (int)-value;
    return value > INT_MAX ? INT_MAX : (int)value;
}

void read_environment()
{
    if (std::getenv("NAVL_DEBUG") != nullptr) {
        g_env_level = 100;
        g_echo = 1;
    } else if (const char *logging = std::getenv("NAVL_LOGGING")) {
        g_env_level = parse_level(logging);
    } else {
        g_env_level = 0;
    }
    if (g_env_level > level_now())
        __atomic_store_n(&global_log_level, g_env_level, __ATOMIC_RELAXED);
}

// The time stamp of the current second.  Formatting it is the dearest part
// of a line after the file calls, and it changes once a second, so it is
// kept for the second it was made in (under the log's lock).
const char *time_stamp()
{
    static char stamp[kStampBuffer];
    static time_t stamp_second = (time_t)-1;
    time_t now = time(nullptr);
    if (now == stamp_second && now != (time_t)-1)
        return stamp;
    int error = 0;
    if (keel::plat::format_timestamp(stamp, sizeof stamp, &error)) {
        stamp_second = now;
    } else {
        std::snprintf(stamp, sizeof stamp, "(time error %d)", error);
        stamp_second = (time_t)-1;
    }
    return stamp;
}

// "dd/MM/yyyy HH:mm:ss: " below level 100, "dd/MM/yyyy HH:mm:ss tXXXXXXXX : "
// from 100 on; a failed time formatting gives "(time error N)" in place of
// the stamp.  Assembled by hand: it stands in every written line.
void form_prefix(char *prefix)
{
    static const char hex[] = "0123456789abcdef";
    const char *stamp = time_stamp();
    size_t len = strnlen(stamp, 40);
    std::memcpy(prefix, stamp, len);
    if (level_now() < 100) {
        std::memcpy(prefix + len, ": ", 3);
        return;
    }
    uint32_t id = keel::plat::current_thread_id();
    char *p = prefix + len;
    *p++ = ' ';
    *p++ = 't';
    for (int shift = 28; shift >= 0; shift -= 4)
        *p++ = hex[(id >> shift) & 0xF];
    std::memcpy(p, " : ", 4);
}

// The message, cut to what the buffer holds.  A null format is not a
// reason to crash: it stands as a text of its own.
void form_message(char *message, const char *format, va_list args) KEEL_PRINTF(2, 0);
void form_message(char *message, const char *format, va_list args)
{
    if (format == nullptr) {
        std::snprintf(message, kWorkBuffer, "%s", "(null format)");
        return;
    }
    if (std::vsnprintf(message, kWorkBuffer, format, args) < 0)
        message[0] = '\0';
}

// prefix + message + LF within 1023 characters: a long message is cut so
// that the line still ends with its line end.  Returns the line's length.
size_t form_line(char *line, const char *prefix, const char *message)
{
    size_t prefix_len = std::strlen(prefix);
    size_t room = kWorkBuffer - 2 - prefix_len;
    size_t message_len = std::strlen(message);
    if (message_len > room)
        message_len = room;
    std::memcpy(line, prefix, prefix_len);
    std::memcpy(line + prefix_len, message, message_len);
    size_t len = prefix_len + message_len;
    line[len++] = '\n';
    line[len] = '\0';
    return len;
}

// Writes all of data, going on after a short write; a failed write drops
// the rest of the piece.
void write_all(intptr_t file, const char *data, size_t n)
{
    while (n > 0) {
        long written = keel::plat::log_write(file, data, n);
        if (written <= 0)
            return;
        data += written;
        n -= (size_t)written;
    }
}

// The pause after failed open attempt k (counted from 0): k/3 ms, so 0, 0,
// 0, 1, 1, 1, 2, 2, 2, 3, the tenth failure included.
void pause_after(int attempt) { keel::plat::sleep_ms((unsigned)(attempt / 3)); }

// Opens the file for one exclusive append: 10 attempts, pausing after each
// failed one, so a line being written or a trim made by another process
// can finish.  Returns -1 when every attempt failed.
intptr_t open_for_append()
{
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        intptr_t file = keel::plat::log_open_append(g_file_name);
        if (file != -1)
            return file;
        pause_after(attempt);
    }
    return -1;
}

// Appends the line with every LF written as CR LF, in one write.
void append_line(const char *line, size_t len)
{
    char crlf[2 * kWorkBuffer];
    size_t out = 0;
    const char *end = line + len;
    while (line < end) {
        const char *lf = (const char *)std::memchr(line, '\n', (size_t)(end - line));
        size_t span = (size_t)((lf ? lf : end) - line);
        std::memcpy(crlf + out, line, span);
        out += span;
        line += span;
        if (lf) {
            crlf[out++] = '\r';
            crlf[out++] = '\n';
            ++line;
        }
    }
    intptr_t file = open_for_append();
    if (file == -1) {
        g_dropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    write_all(file, crlf, out);
    keel::plat::log_close(file);
}

void echo_line(const char *line)
{
    if (!g_echo || std::feof(stdout) || std::ferror(stdout))
        return;
    std::fputs(line, stdout);
    std::fflush(stdout);
}

// Whether the once-a-minute size check is due, and re-arms it when it is.
// The monotonic clock measures the minute: a wall clock set back would
// otherwise hold the check off for as long as it was set back.
bool size_check_due()
{
    int64_t now = keel::plat::monotonic_ms();
    if (g_size_checked && now - g_last_check_ms < kCheckIntervalMs)
        return false;
    g_size_checked = true;
    g_last_check_ms = now;
    return true;
}

// Keeps the bytes after the first LF of the file's last kHalfLimit bytes (a
// line that begins exactly there goes too) and rewrites the file with them.
// Returns the number kept, or -1 when there was nothing to keep or a step
// failed.
long cut_older_half(intptr_t file, uint64_t size)
{
    char *tail = (char *)std::malloc(kHalfLimit);
    if (tail == nullptr)
        return -1;
    long kept = -1;
    if (keel::plat::log_read_at(file, size - kHalfLimit, tail, kHalfLimit) == (long)kHalfLimit) {
        const char *lf = (const char *)std::memchr(tail, '\n', kHalfLimit);
        size_t keep = lf ? (size_t)(tail + kHalfLimit - (lf + 1)) : 0;
        if (keep > 0 && keel::plat::log_rewrite(file, lf + 1, keep))
            kept = (long)keep;
    }
    std::free(tail);
    return kept;
}

// Opens the file for the trim.  While another writer holds it, tries again
// with the appends' attempts and pauses, so that lines written all the time
// by other processes do not put the trim off minute after minute.  Returns
// -1 when the file is missing or unusable, or was held throughout.
intptr_t open_for_trim()
{
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        int held = 0;
        intptr_t file = keel::plat::log_open_trim(g_file_name, &held);
        if (file != -1 || !held)
            return file;
        pause_after(attempt);
    }
    return -1;
}

// Measures the file and cuts its older half when it is past the limit, all
// through one open that excludes every writer, so no other process's line
// lands between the read and the rewrite.  While another writer holds the
// file that open fails and nothing is measured or trimmed.  Returns the
// number of bytes kept (with the measured size in *size), or -1 when the
// file was not trimmed.
long trim(uint64_t *size)
{
    intptr_t file = open_for_trim();
    if (file == -1)
        return -1;
    long kept = -1;
    if (keel::plat::log_size(file, size) && *size > kSizeLimit)
        kept = cut_older_half(file, *size);
    keel::plat::log_close(file);
    return kept;
}

// A report's pass through the ready check.  It counts itself in before it
// looks again (sequentially consistent, as Log_Shutdown clears the flag
// before it reads the count: one of the two sees the other), and out when
// the report ends.  A closed log is seen before counting, so reports that
// keep coming after the close cannot keep the count from reaching 0.  A
// report made before any start-up starts the layer first; one made after
// the last tear-down is not admitted.
class ReportPass {
public:
    ReportPass()
    {
        admitted_ = try_pass();
        if (!admitted_ && keel::runtime_usable())
            admitted_ = try_pass();
    }
    ~ReportPass()
    {
        if (admitted_)
            g_in_progress.fetch_sub(1);
    }
    bool admitted() const { return admitted_; }
    ReportPass(const ReportPass &) = delete;
    ReportPass &operator=(const ReportPass &) = delete;

private:
    static bool try_pass()
    {
        if (!g_ready.load())
            return false;  // closed: never counted, so a tear-down's wait ends
        g_in_progress.fetch_add(1);
        if (g_ready.load())
            return true;
        g_in_progress.fetch_sub(1);
        return false;
    }
    bool admitted_;
};

}  // namespace

int Log_ReportV(int level, const char *format, va_list args)
{
    if (filtered_out(level))
        return 0;
    ReportPass pass;
    if (!pass.admitted())
        return 0;

    char message[kWorkBuffer];
    char line[kWorkBuffer];
    keel::ScopedLock hold(&global_log_lock);
    if (g_env_level == -1)
        read_environment();
    if (level_now() < level)
        return 0;

    Log_CheckSize();
    char prefix[kStampBuffer];
    form_prefix(prefix);
    form_message(message, format, args);
    size_t len = form_line(line, prefix, message);
    append_line(line, len);
    echo_line(line);
    return 0;
}

int Log_Report(int level, const char *format, ...)
{
    if (filtered_out(level))
        return 0;
    va_list args;
    va_start(args, format);
    Log_ReportV(level, format, args);
    va_end(args);
    return 0;
}

int Log_Trace(const char *format, ...)
{
    if (filtered_out(100))
        return 0;
    va_list args;
    va_start(args, format);
    Log_ReportV(100, format, args);
    va_end(args);
    return 0;
}

void Log_Assert(const char *expr, const char *source, int line)
{
    Log_Report(0, "Assertion failed: %s in file %s on line %d\n", expr ? expr : "(null)",
               source ? source : "(null)", line);
}

void Log_CheckSize(void)
{
    keel::ScopedLock hold(&global_log_lock);
    if (!size_check_due())
        return;
    uint64_t size = 0;
    long kept = trim(&size);
    if (kept >= 0)
        Log_Report(25, "Logfile truncated from %ld bytes to %ld bytes",
                   size > (uint64_t)LONG_MAX ? LONG_MAX : (long)size, kept);
}

uint32_t keel::log_dropped_lines(void) { return g_dropped.load(std::memory_order_relaxed); }

void Log_Startup(void)
{
    Lock_Init(&global_log_lock);
    g_ready.store(1);
}

// Closes the log, then waits for every report already past the ready check
// (they count themselves in before the check, so none is missed), then
// enters and leaves the lock.  The lock is deleted, except at a process
// exit where other threads may still report: there it stays alive and
// their reports are dropped at the check.
void Log_Shutdown(void)
{
    g_ready.store(0);
    while (g_in_progress.load() != 0)
        keel::plat::sleep_ms(1);
    Lock_Enter(&global_log_lock);
    Lock_Leave(&global_log_lock);
    if (!keel::runtime_keeps_locks())
        Lock_Delete(&global_log_lock);
}
