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
//   global_log_level: no lock, no allocation, no system call.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

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
const long kHalfLimit = kSizeLimitKb * 1024 / 2;
const time_t kCheckInterval = 60;

std::atomic<int> g_ready{0};   // 1 between Log_Startup and Log_Shutdown
std::atomic<int> g_in_progress{0};  // reports past the ready check
int g_env_level = -1;          // -1: the environment has not been read
int g_echo = 0;
const char g_file_name[512] = "navl.log";
time_t g_last_check = 1;       // far in the past: the first written report checks

// Pulls the library's attach and detach into every program that reports,
// also when it links the static library.
__attribute__((used)) int *const g_entry_anchor = &keel_entry_anchor;

int level_now() { return __atomic_load_n(&global_log_level, __ATOMIC_RELAXED); }

void read_environment()
{
    if (std::getenv("NAVL_DEBUG") != nullptr) {
        g_env_level = 100;
        g_echo = 1;
    } else if (const char *logging = std::getenv("NAVL_LOGGING")) {
        g_env_level = std::atoi(logging);
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

// Opens the file for one exclusive append: 10 attempts, pausing k/3 ms
// after failed attempt k, so a line being written by another process can
// finish.  Returns -1 when every attempt failed.
intptr_t open_for_append()
{
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        intptr_t file = keel::plat::log_open_append(g_file_name);
        if (file != -1)
            return file;
        if (attempt + 1 < kOpenAttempts)
            keel::plat::sleep_ms((unsigned)(attempt / 3));
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
    if (file == -1)
        return;
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

// The number of bytes to keep: those after the first LF at or after the
// point kHalfLimit bytes before the end; 0 when there is no such LF or
// nothing follows it.
long bytes_to_keep(FILE *file)
{
    if (std::fseek(file, -kHalfLimit, SEEK_END) != 0)
        return 0;
    long read = 0;
    int c;
    do {
        c = std::fgetc(file);
        if (c == EOF)
            return 0;
        ++read;
    } while (c != '\n');
    return kHalfLimit - read;
}

// Cuts the older half of the file at a line boundary.  Returns the number
// of bytes kept, or -1 when the file was left as it was.
long trim(void)
{
    FILE *in = keel::plat::open_stream(g_file_name, "rb");
    if (in == nullptr)
        return -1;
    long keep = bytes_to_keep(in);
    char *kept = keep > 0 ? (char *)std::malloc((size_t)keep) : nullptr;
    if (kept == nullptr || std::fread(kept, 1, (size_t)keep, in) != (size_t)keep) {
        std::free(kept);
        std::fclose(in);
        return -1;
    }
    std::fclose(in);
    FILE *out = keel::plat::open_stream(g_file_name, "wb");
    if (out == nullptr) {
        std::free(kept);
        return -1;
    }
    std::fwrite(kept, 1, (size_t)keep, out);
    std::free(kept);
    std::fclose(out);
    return keep;
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
    int known = level_now();
    if (known != -1 && level > known)
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
    va_list args;
    va_start(args, format);
    Log_ReportV(level, format, args);
    va_end(args);
    return 0;
}

int Log_Trace(const char *format, ...)
{
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
    if (time(nullptr) - g_last_check < kCheckInterval)
        return;
    g_last_check = time(nullptr);

    uint32_t size = 0;
    if (!keel::plat::file_size(g_file_name, &size))
        size = 0;
    if (size <= (uint32_t)(kSizeLimitKb * 1024))
        return;
    long kept = trim();
    if (kept >= 0)
        Log_Report(25, "Logfile truncated from %ld bytes to %ld bytes", (long)size, kept);
}

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
