// The benchmark program's entry: works in a fresh directory, so navl.log
// lands there, and runs with the log's environment cleared (level 0).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

int main(int argc, char **argv)
{
    unsetenv("NAVL_DEBUG");
    unsetenv("NAVL_LOGGING");
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("keel-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::current_path(dir);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(dir);
    return 0;
}
