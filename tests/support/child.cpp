#include "support/child.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

static std::map<std::string, ChildFn> &registry()
{
    static std::map<std::string, ChildFn> r;
    return r;
}

bool RegisterChild(const char *name, ChildFn fn)
{
    registry()[name] = fn;
    return true;
}

bool RunChildIfRequested(int *code)
{
    const char *name = std::getenv("KEEL_CHILD_FN");
    if (name == nullptr)
        return false;
    *code = 125;  // no such child function
    if (registry().count(name) == 1)
        *code = registry()[name]();
    std::fflush(stdout);
    return true;
}

// Named after the clock and a count, tried again under the next count
// while the name is taken.
TempDir::TempDir()
{
    static std::atomic<int> counter{0};
    std::string stamp = std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    std::error_code ec;
    do
        path_ = (fs::temp_directory_path() / ("keel-test-" + stamp + "-" + std::to_string(counter++))).string();
    while (!fs::create_directory(path_, ec));
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string TempDir::file(const std::string &name) const { return (fs::path(path_) / name).string(); }

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

void SetEnvVar(const char *name, const char *value)
{
#if defined(_WIN32)
    SetEnvironmentVariableA(name, value);
    _putenv_s(name, value ? value : "");
#else
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
#endif
}

static ChildEnv full_env(const std::string &fn, const ChildEnv &env)
{
    ChildEnv all = {{"NAVL_DEBUG", std::nullopt}, {"NAVL_LOGGING", std::nullopt}};
    all.insert(all.end(), env.begin(), env.end());
    all.push_back({"KEEL_CHILD_FN", fn});
    return all;
}

static void apply_env(const ChildEnv &env)
{
    for (const auto &kv : env)
        SetEnvVar(kv.first.c_str(), kv.second ? kv.second->c_str() : nullptr);
}

#if defined(_WIN32)

ChildProcess StartChild(const std::string &fn, const std::string &dir, const ChildEnv &env,
                        const std::string &stdout_name)
{
    // The child inherits our environment with env applied; ours is put back
    // once it has started.
    ChildEnv all = full_env(fn, env);
    ChildEnv saved;
    for (const auto &kv : all) {
        const char *old = std::getenv(kv.first.c_str());
        saved.push_back({kv.first, old ? std::optional<std::string>(old) : std::nullopt});
    }
    apply_env(all);
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE out = CreateFileA((fs::path(dir) / stdout_name).string().c_str(), GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = out;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string cmd = std::string("\"") + self + "\"";
    PROCESS_INFORMATION pi = {};
    BOOL ok = CreateProcessA(self, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, dir.c_str(), &si, &pi);
    CloseHandle(out);
    apply_env(saved);
    ChildProcess child;
    if (ok) {
        CloseHandle(pi.hThread);
        child.handle = (long long)(intptr_t)pi.hProcess;
    }
    return child;
}

int WaitChild(ChildProcess &child)
{
    if (!child.handle)
        return -1;
    HANDLE h = (HANDLE)(intptr_t)child.handle;
    WaitForSingleObject(h, INFINITE);
    DWORD code = (DWORD)-1;
    GetExitCodeProcess(h, &code);
    CloseHandle(h);
    child.handle = 0;
    return (int)code;
}

#else

ChildProcess StartChild(const std::string &fn, const std::string &dir, const ChildEnv &env,
                        const std::string &stdout_name)
{
    ChildEnv all = full_env(fn, env);
    std::string out_path = (fs::path(dir) / stdout_name).string();
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        apply_env(all);
        int fd = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || dup2(fd, 1) < 0 || chdir(dir.c_str()) != 0)
            _exit(126);
        close(fd);
        char self[4096];
        ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        if (n <= 0)
            _exit(126);
        self[n] = 0;
        execl(self, self, (char *)nullptr);
        _exit(127);
    }
    ChildProcess child;
    child.handle = pid > 0 ? pid : 0;
    return child;
}

int WaitChild(ChildProcess &child)
{
    if (!child.handle)
        return -1;
    int status = 0;
    pid_t pid = (pid_t)child.handle;
    child.handle = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

#endif

ChildResult RunChild(const std::string &fn, const ChildEnv &env)
{
    TempDir dir;
    ChildProcess child = StartChild(fn, dir.path(), env);
    ChildResult r;
    r.exit_code = WaitChild(child);
    r.out = ReadFile(dir.file("stdout.txt"));
    r.log = ReadFile(dir.file("navl.log"));
    return r;
}
