// Child processes and temporary directories for tests that touch the log or
// other process-wide state.  A child re-runs this test program, which finds
// KEEL_CHILD_FN in its environment and runs the named child function instead
// of the tests; its exit code is the function's result.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A fresh empty directory, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const;  // path of a file inside

private:
    std::string path_;
};

// In a child function: when cond is false, prints the line and the
// condition on standard output (the parent shows it) and returns 1.
#define CHILD_REQUIRE(cond)                                              \
    do {                                                                 \
        if (!(cond)) {                                                   \
            std::printf("failed at line %d: %s\n", __LINE__, #cond);     \
            return 1;                                                    \
        }                                                                \
    } while (0)

// Registers a child function: KEEL_CHILD(Name) { ...; return 0; }
using ChildFn = int (*)();
bool RegisterChild(const char *name, ChildFn fn);
#define KEEL_CHILD(name)                                                  \
    static int keel_child_##name();                                       \
    static const bool keel_child_reg_##name = RegisterChild(#name, keel_child_##name); \
    static int keel_child_##name()

// Environment changes for a child: a value sets the variable (an empty
// value included), nullopt removes it.
using ChildEnv = std::vector<std::pair<std::string, std::optional<std::string>>>;

struct ChildProcess {
    long long handle = 0;
};

// Starts child function `fn` with its current directory in `dir` and its
// standard output in `dir`/`stdout_name`.  NAVL_DEBUG and NAVL_LOGGING are
// removed unless `env` sets them.
ChildProcess StartChild(const std::string &fn, const std::string &dir, const ChildEnv &env,
                        const std::string &stdout_name = "stdout.txt");
// Waits for the child and returns its exit code (-1 when it did not exit).
int WaitChild(ChildProcess &child);

struct ChildResult {
    int exit_code = -1;
    std::string out;  // what the child wrote on standard output
    std::string log;  // the bytes of navl.log afterwards ("" when absent)
};

// Runs `fn` in a fresh temporary directory and collects its results.
ChildResult RunChild(const std::string &fn, const ChildEnv &env = {});

// Runs the registered child function named in KEEL_CHILD_FN, if any.
// Returns true and sets *code when this process is a child.
bool RunChildIfRequested(int *code);

std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::string &bytes);
// Sets (or with nullptr removes) a variable of this process's environment.
void SetEnvVar(const char *name, const char *value);
