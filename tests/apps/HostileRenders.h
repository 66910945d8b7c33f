// Renders that a hostile page or caller can ask for, each run through the built command as
// its own process: what it answered, how long it took and how much memory it held at most.
// The test checks the answers and the memory; the benchmark reports the times.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace quillax::hostile {

// The size of the image shown when rendering fails.
inline constexpr int32_t kErrorWidth = 50;
inline constexpr int32_t kErrorHeight = 30;

struct THostileCase {
    std::string Name;
    std::vector<std::string> Properties; // NAME=VALUE
    int32_t Width = 0;                   // 0: the error image
    int32_t Height = 0;
};

inline std::string Repeated(const std::string& unit, size_t length) {
    std::string text;
    text.reserve(length + unit.size());
    while (text.size() < length)
        text += unit;
    text.resize(length);
    return text;
}

inline std::string Digits(size_t length) {
    return Repeated("1234567890", length);
}

inline std::vector<THostileCase> HostileCases() {
    const std::string c39 = "BarcodeType=3", abc = "Data=ABC";
    std::vector<THostileCase> cases = {
        {"height-int-max", {c39, abc, "Height=2147483647"}},
        {"narrow-width-int-max", {c39, abc, "NarrowBarWidth=2147483647"}},
        {"ratio-int-max", {"BarcodeType=6", abc, "Ratio=2147483647"}, 68, 50},
        {"narrow-width-negative", {c39, abc, "NarrowBarWidth=-5"}},
        {"narrow-width-int-min", {c39, abc, "NarrowBarWidth=-2147483648"}},
        {"height-and-ratio-negative", {c39, abc, "Height=-5", "Ratio=-3"}},
        // turned: the bounding box of 64 x 50 at -7 (353), 127 and 232 degrees
        {"orientation-negative", {c39, abc, "Orientation=-7"}, 70, 58},
        {"orientation-int-max", {c39, abc, "Orientation=2147483647"}, 79, 82},
        {"orientation-int-min", {c39, abc, "Orientation=-2147483648"}, 79, 82},
        // 46,008 pixels square: beyond the surface bounds
        {"orientation-45-height-65000", {c39, abc, "Orientation=45", "Height=65000"}},
        {"orientation-90-height-65000", {c39, abc, "Orientation=90", "Height=65000"}, 65000, 64},
        {"code128-100000-characters", {"BarcodeType=6", "Data=" + Repeated("A", 100'000)}},
        {"code128-100000-characters-45",
         {"BarcodeType=6", "Data=" + Repeated("A", 100'000), "Orientation=45", "ShowText=True"}},
        {"code128-auto-100000-characters", {"BarcodeType=23", "Data=" + Repeated("Ab12", 100'000)}},
        {"industrial-2000-digits-90",
         {"BarcodeType=1", "Data=" + Digits(2000), "Orientation=90"},
         50,
         24016},
        // 20,169 x 13,122 pixels: beyond the surface bounds
        {"industrial-2000-digits-33", {"BarcodeType=1", "Data=" + Digits(2000), "Orientation=33"}},
        // the largest turned surface the bounds allow, about 15.6 million pixels
        {"industrial-460-digits-45-text",
         {"BarcodeType=1", "Data=" + Digits(460), "Orientation=45", "ShowText=True"},
         3950,
         3950},
        {"industrial-8000-digits-90",
         {"BarcodeType=1", "Data=" + Digits(8000), "Orientation=90"},
         50,
         96016},
        {"industrial-8000-digits-33", {"BarcodeType=1", "Data=" + Digits(8000), "Orientation=33"}},
        {"industrial-8000-digits-270-text",
         {"BarcodeType=1", "Data=" + Digits(8000), "Orientation=270", "ShowText=True"},
         50,
         96016},
    };
    // The widest narrow bar with long data, in every symbology and every image format.
    for (int type = 0; type <= 24; ++type)
        for (const char* format : {"BMP", "PNG", "JPEG"})
            cases.push_back({"narrow-width-127-type-" + std::to_string(type) + "-" + format,
                             {"BarcodeType=" + std::to_string(type), "Data=" + Digits(10'000),
                              "NarrowBarWidth=127", std::string("ImageTypeStr=") + format}});
    return cases;
}

struct TOutcome {
    int Status = -1;       // exit status, or -1 when the process did not exit by itself
    double Seconds = 0;    // wall-clock time
    double CpuSeconds = 0; // processor time, user and system
    int64_t PeakKiB = 0;   // largest resident memory
};

// Runs `command render -o output properties...`, with standard output and error discarded
// and the processor time limited to cpuSeconds (so a hang fails instead of stalling).
inline TOutcome RunRender(const std::string& command, const THostileCase& c,
                          const std::string& output, int cpuSeconds) {
    std::vector<std::string> arguments = {command, "render", "-o", output};
    arguments.insert(arguments.end(), c.Properties.begin(), c.Properties.end());
    std::vector<char*> argv;
    for (std::string& a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const rlimit cpu{rlim_t(cpuSeconds), rlim_t(cpuSeconds)};
        setrlimit(RLIMIT_CPU, &cpu);
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    TOutcome outcome;
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child) return outcome;
    outcome.Seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    outcome.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.PeakKiB = usage.ru_maxrss;
    outcome.CpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return outcome;
}

} // namespace quillax::hostile
