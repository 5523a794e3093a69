// The fuzzer's targets and the loop that runs them: random cases for a time, each checked
// against its properties; a failing case is shrunk and printed with the seed that makes it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/fuzz/Random.h"

namespace ombrel::test::fuzz {

// One input: a few byte strings and a few numbers, each target saying what they mean. Every
// property is decided from the case alone, so a shrunk case is checked like a generated one.
struct Case {
    std::vector<std::string> texts;
    std::vector<long long> numbers;
};

// The first property a case breaks; an empty property means all hold.
struct Verdict {
    std::string property;
    std::string detail;
    bool failed() const { return !property.empty(); }
};

inline Verdict Holds() { return Verdict(); }
inline Verdict Broken(std::string property, std::string detail) {
    return Verdict{std::move(property), std::move(detail)};
}

struct Target {
    std::string name;
    std::vector<std::string> textNames;  // what texts[i] is, for the reproduction
    std::string numbersName;             // what numbers are
    std::function<Case(Random&)> generate;
    std::function<Verdict(const Case&)> check;
    std::function<bool()> setUp;      // optional; false when the target cannot run here
    std::function<void()> tearDown;   // optional
};

struct TargetResult {
    std::string name;
    uint64_t iterations = 0;
    uint64_t failures = 0;
    double seconds = 0;
    bool ranAtAll = false;
};

// Random cases of the target until seconds have passed, or with replay only the case that
// caseSeed makes (a reproduction).
TargetResult RunTarget(const Target& target, uint64_t runSeed, double seconds, bool replay, uint64_t caseSeed);

// Prints the case as C string literals, one line per text.
std::string DescribeCase(const Target& target, const Case& c);

// A byte string as a C string literal: printable ASCII as it is, everything else escaped.
std::string Quote(const std::string& bytes, size_t limit = 400);

// Starts the hang watchdog and the crash reporter; both print the case being run.
void InstallGuards();

}  // namespace ombrel::test::fuzz
