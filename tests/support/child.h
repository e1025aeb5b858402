// Child processes and temporary directories for tests that touch the log or
// other process-wide state.  A child re-runs this test program, which finds
// KEEL_CHILD_FN in its environment and runs that child function instead of
// the tests; the function's result is the child's exit code.
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
    std::string file(const std::string &name) const;

private:
    std::string path_;
};

// In a child function: when cond is false, prints the line and the
// condition (the parent shows them) and returns 1.
#define CHILD_REQUIRE(cond)                                          \
    do {                                                             \
        if (!(cond)) {                                               \
            std::printf("failed at line %d: %s\n", __LINE__, #cond); \
            return 1;                                                \
        }                                                            \
    } while (0)

// Registers a child function: KEEL_CHILD(Name) { ...; return 0; }
using ChildFn = int (*)();
bool RegisterChild(const char *name, ChildFn fn);
#define KEEL_CHILD(name)                                                                \
    static int keel_child_##name();                                                     \
    static const bool keel_child_reg_##name = RegisterChild(#name, keel_child_##name); \
    static int keel_child_##name()

// A value sets the variable (empty included), nullopt removes it.
using ChildEnv = std::vector<std::pair<std::string, std::optional<std::string>>>;

struct ChildProcess {
    long long handle = 0;
};

// Starts child function `fn` working in `dir`, its standard output in
// `dir`/`stdout_name`; NAVL_DEBUG and NAVL_LOGGING are removed unless `env`
// sets them.  WaitChild gives its exit code, -1 when it did not exit.
ChildProcess StartChild(const std::string &fn, const std::string &dir, const ChildEnv &env,
                        const std::string &stdout_name = "stdout.txt");
int WaitChild(ChildProcess &child);

struct ChildResult {
    int exit_code = -1;
    std::string out;  // the child's standard output
    std::string log;  // navl.log afterwards, "" when absent
};

// Runs `fn` in a fresh temporary directory and collects its results.
ChildResult RunChild(const std::string &fn, const ChildEnv &env = {});

// In a child: runs the function KEEL_CHILD_FN names, sets *code, true.
bool RunChildIfRequested(int *code);

std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::string &bytes);
// Sets, or with nullptr removes, a variable of this process's environment.
void SetEnvVar(const char *name, const char *value);
