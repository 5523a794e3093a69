#include "tools/fuzz/Runner.h"

#include <windows.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <exception>
#include <set>

#include "tools/fuzz/CodePageText.h"
#include "win/UniqueAny.h"

namespace ombrel::test::fuzz {
namespace {

using Clock = std::chrono::steady_clock;

// A case that runs this long is taken for a hang: the process reports it and ends.
constexpr DWORD kHangMs = 30000;
// Shrinking stops after this many checks or this long, whichever comes first.
constexpr int kShrinkChecks = 4000;
constexpr double kShrinkSeconds = 5;
// A target stops after this many failing cases; the first of each property is printed.
constexpr uint64_t kMaxFailures = 20;

// What the guards print when the process dies or hangs inside a case.
struct Running {
    std::atomic<const Target*> target{nullptr};
    std::atomic<uint64_t> caseSeed{0};
    std::atomic<DWORD> since{0};
    std::atomic<bool> busy{false};
};
Running g_running;

void Begin(const Target& target, uint64_t caseSeed) {
    g_running.target = &target;
    g_running.caseSeed = caseSeed;
    g_running.since = ::GetTickCount();
    g_running.busy = true;
}

void End() { g_running.busy = false; }

// The command that makes the case again; the code page is part of what makes it.
void PrintReproduce(const char* target, uint64_t caseSeed) {
    std::printf("  reproduce: ombrel_fuzz.exe --target %s --case 0x%016" PRIx64 " (under code page %u)\n", target,
                caseSeed, ActiveCodePage().id);
}

void ReportRunning(const char* what) {
    const Target* target = g_running.target.load();
    // No allocation here: the heap may be what broke.
    const char* name = target ? target->name.c_str() : "?";
    std::printf("\n%s in target %s, case 0x%016" PRIx64 "\n", what, name, g_running.caseSeed.load());
    PrintReproduce(name, g_running.caseSeed.load());
    std::fflush(stdout);
}

DWORD WINAPI Watchdog(LPVOID) {
    for (;;) {
        ::Sleep(500);
        if (g_running.busy && ::GetTickCount() - g_running.since > kHangMs) {
            ReportRunning("HANG (no answer within 30 s)");
            ::ExitProcess(3);
        }
    }
}

LONG WINAPI OnCrash(EXCEPTION_POINTERS* info) {
    char what[64];
    std::snprintf(what, sizeof what, "CRASH (exception 0x%08lX)",
                  static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode));
    ReportRunning(what);
    return EXCEPTION_EXECUTE_HANDLER;
}

uint64_t NameSalt(const std::string& name) {
    uint64_t hash = 0xCBF29CE484222325ull;  // FNV-1a
    for (unsigned char c : name) hash = (hash ^ c) * 0x100000001B3ull;
    return hash;
}

Verdict CheckGuarded(const Target& target, const Case& c) {
    try {
        return target.check(c);
    } catch (const std::exception& e) {
        return Broken("no exception", std::string("threw ") + e.what());
    } catch (...) {
        return Broken("no exception", "threw a non-standard exception");
    }
}

// Deletes pieces of the texts and entries of the numbers while the same property still
// fails: halves first, then smaller pieces down to single bytes.
Case Shrink(const Target& target, uint64_t caseSeed, Case failing, const std::string& property, int* steps) {
    const Clock::time_point start = Clock::now();
    int checks = 0;
    auto stillFails = [&](const Case& candidate) {
        ++checks;
        Begin(target, caseSeed);
        return CheckGuarded(target, candidate).property == property;
    };
    auto outOfBudget = [&] {
        return checks >= kShrinkChecks ||
               std::chrono::duration<double>(Clock::now() - start).count() > kShrinkSeconds;
    };
    bool progress = true;
    while (progress && !outOfBudget()) {
        progress = false;
        for (size_t t = 0; t < failing.texts.size() && !outOfBudget(); ++t) {
            for (size_t piece = failing.texts[t].size() / 2; piece >= 1 && !outOfBudget(); piece /= 2) {
                for (size_t at = 0; at < failing.texts[t].size() && !outOfBudget();) {
                    Case candidate = failing;
                    candidate.texts[t].erase(at, piece);
                    if (stillFails(candidate)) {
                        failing = std::move(candidate);
                        ++*steps;
                        progress = true;
                    } else {
                        at += piece;
                    }
                }
            }
        }
        for (size_t n = 0; n < failing.numbers.size() && !outOfBudget();) {
            Case candidate = failing;
            candidate.numbers.erase(candidate.numbers.begin() + static_cast<long>(n));
            if (stillFails(candidate)) {
                failing = std::move(candidate);
                ++*steps;
                progress = true;
            } else {
                ++n;
            }
        }
    }
    return failing;
}

}  // namespace

std::string Quote(const std::string& bytes, size_t limit) {
    std::string out = "\"";
    for (size_t i = 0; i < bytes.size() && i < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        char escape[8];
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '"': out += "\\\""; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c >= 0x20 && c < 0x7F) {
                    // A hex escape swallows the hex digits after it; close and reopen the literal.
                    if (out.size() >= 4 && out[out.size() - 4] == '\\' && out[out.size() - 3] == 'x' &&
                        std::isxdigit(c)) {
                        out += "\"\"";
                    }
                    out += static_cast<char>(c);
                } else {
                    std::snprintf(escape, sizeof escape, "\\x%02X", c);
                    out += escape;
                }
        }
    }
    out += "\"";
    if (bytes.size() > limit) out += " ... (" + std::to_string(bytes.size()) + " bytes in all)";
    return out;
}

std::string DescribeCase(const Target& target, const Case& c) {
    std::string out;
    for (size_t i = 0; i < c.texts.size(); ++i) {
        const std::string name = i < target.textNames.size() ? target.textNames[i] : "text" + std::to_string(i);
        out += "    " + name + " = " + Quote(c.texts[i]) + "\n";
    }
    if (!c.numbers.empty()) {
        out += "    " + (target.numbersName.empty() ? std::string("numbers") : target.numbersName) + " = {";
        for (size_t i = 0; i < c.numbers.size(); ++i) {
            if (i == 40) {
                out += ", ... (" + std::to_string(c.numbers.size()) + " in all)";
                break;
            }
            out += (i ? ", " : "") + std::to_string(c.numbers[i]);
        }
        out += "}\n";
    }
    return out;
}

TargetResult RunTarget(const Target& target, uint64_t runSeed, double seconds, bool replay, uint64_t onlyCase) {
    TargetResult result;
    result.name = target.name;
    if (target.setUp && !target.setUp()) {
        std::printf("%s: cannot run here (set-up failed)\n", target.name.c_str());
        result.failures = 1;
        return result;
    }
    result.ranAtAll = true;
    const uint64_t salt = NameSalt(target.name);
    std::set<std::string> printed;
    const Clock::time_point start = Clock::now();
    for (uint64_t index = 0;; ++index) {
        if (replay && index > 0) break;
        if (!replay && std::chrono::duration<double>(Clock::now() - start).count() >= seconds) break;
        const uint64_t caseSeed = replay ? onlyCase : CaseSeed(runSeed, salt, index);
        Random random(caseSeed);
        Begin(target, caseSeed);
        const Case c = target.generate(random);
        const Verdict verdict = CheckGuarded(target, c);
        ++result.iterations;
        if (verdict.failed()) {
            ++result.failures;
            if (printed.insert(verdict.property).second) {
                std::printf("\nFAIL %s [%s] case 0x%016" PRIx64 " (run seed %" PRIu64 ")\n  %s\n  as generated:\n%s",
                            target.name.c_str(), verdict.property.c_str(), caseSeed, runSeed,
                            verdict.detail.c_str(), DescribeCase(target, c).c_str());
                std::fflush(stdout);
                int steps = 0;
                const Case small = Shrink(target, caseSeed, c, verdict.property, &steps);
                if (steps > 0) {
                    std::printf("  shrunk in %d steps to:\n%s  which gives: %s\n", steps,
                                DescribeCase(target, small).c_str(), CheckGuarded(target, small).detail.c_str());
                }
                PrintReproduce(target.name.c_str(), caseSeed);
                std::fflush(stdout);
            }
            if (result.failures >= kMaxFailures) break;
        }
        End();
    }
    End();
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (target.tearDown) target.tearDown();
    return result;
}

void InstallGuards() {
    ::SetUnhandledExceptionFilter(OnCrash);
    std::set_terminate([] {
        ReportRunning("CRASH (std::terminate)");
        ::ExitProcess(4);
    });
    static win::UniqueThread watchdog(::CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr));
}

}  // namespace ombrel::test::fuzz
