// ombrel_fuzz: seeded, time-bounded random testing of the plug-in's text and protocol code.
//
//   ombrel_fuzz.exe [--seed N] [--seconds S] [--target NAME] [--case SEED] [--list]
//
// --seconds is the time per target (default 2). A failure prints the property, the case as it
// was generated and shrunk, and the --target/--case pair that runs it again. Exit code 0 only
// when every case of every target held.
#include <windows.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/fuzz/CodePageText.h"
#include "tools/fuzz/Targets.h"

namespace ombrel::test::fuzz {
namespace {

struct Options {
    uint64_t seed = 0;
    bool seedGiven = false;
    double seconds = 2;
    std::string target;
    bool replay = false;
    uint64_t caseSeed = 0;
    bool list = false;
};

bool ParseNumber(const char* text, uint64_t* value) {
    char* end = nullptr;
    *value = std::strtoull(text, &end, 0);
    return end && *end == '\0' && end != text;
}

bool ParseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        uint64_t number = 0;
        if (arg == "--seed" && hasValue && ParseNumber(argv[++i], &number)) {
            options->seed = number;
            options->seedGiven = true;
        } else if (arg == "--seconds" && hasValue) {
            options->seconds = std::atof(argv[++i]);
            if (options->seconds <= 0) return false;
        } else if (arg == "--target" && hasValue) {
            options->target = argv[++i];
        } else if (arg == "--case" && hasValue && ParseNumber(argv[++i], &number)) {
            options->replay = true;
            options->caseSeed = number;
        } else if (arg == "--list") {
            options->list = true;
        } else {
            return false;
        }
    }
    return !options->replay || !options->target.empty();
}

uint64_t SeedFromClock() {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<uint64_t>(now.QuadPart) ^ (static_cast<uint64_t>(::GetCurrentProcessId()) << 32);
}

}  // namespace

int Main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        std::fprintf(stderr, "usage: ombrel_fuzz [--seed N] [--seconds S] [--target NAME] [--case SEED] [--list]\n"
                             "  --case needs --target\n");
        return 2;
    }
    const std::vector<Target> targets = {UrlEncodeTarget(), ResponseHeadTarget(), EscapeTarget(),
                                         FormatSongInfoTarget(), HttpRequestTarget()};
    if (options.list) {
        for (const Target& t : targets) std::printf("%s\n", t.name.c_str());
        return 0;
    }
    CodePage page;
    if (!DetectCodePage(&page)) {
        std::printf("code page %u: the models know code page 932 and single-byte pages only\n", page.id);
        return 2;
    }
    // CTest names the code page each run is for; a system that gives another one would test
    // the wrong thing and pass.
    if (const char* expected = std::getenv("OMBREL_EXPECT_ACP")) {
        if (static_cast<UINT>(std::atoi(expected)) != page.id) {
            std::printf("code page %u, but this run is for code page %s\n", page.id, expected);
            return 2;
        }
    }
    SetActiveCodePage(page);
    if (!options.seedGiven) options.seed = SeedFromClock();
    InstallGuards();
    std::printf("ombrel_fuzz: seed %" PRIu64 ", code page %u, %.1f s per target\n", options.seed, page.id,
                options.seconds);
    std::fflush(stdout);

    bool anyRun = false;
    uint64_t failures = 0;
    for (const Target& target : targets) {
        if (!options.target.empty() && options.target != target.name) continue;
        anyRun = true;
        const TargetResult r = RunTarget(target, options.seed, options.seconds, options.replay, options.caseSeed);
        failures += r.failures;
        std::printf("%-15s %8" PRIu64 " cases in %5.1f s (%7.0f/s), %" PRIu64 " failing\n", r.name.c_str(),
                    r.iterations, r.seconds, r.seconds > 0 ? r.iterations / r.seconds : 0.0, r.failures);
        std::fflush(stdout);
    }
    if (!anyRun) {
        std::printf("no target named %s (see --list)\n", options.target.c_str());
        return 2;
    }
    std::printf("%s (seed %" PRIu64 ")\n", failures ? "FAILED" : "all properties held", options.seed);
    return failures ? 1 : 0;
}

}  // namespace ombrel::test::fuzz

int main(int argc, char** argv) { return ombrel::test::fuzz::Main(argc, argv); }
