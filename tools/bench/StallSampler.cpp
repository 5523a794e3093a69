#include "tools/bench/StallSampler.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "tools/bench/Timing.h"

namespace ombrel::test::bench {
namespace {

constexpr DWORD kStackSpan = 1024 * 1024;  // how far above the stack pointer a frame may lie

std::string Where(DWORD address) {
    HMODULE module = nullptr;
    if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(address)), &module))
        return "?";
    char path[MAX_PATH] = "";
    ::GetModuleFileNameA(module, path, MAX_PATH);
    std::string name(path);
    name = name.substr(name.find_last_of("\\/") + 1);
    char text[MAX_PATH + 16];
    std::snprintf(text, sizeof text, "%s+0x%lx", name.c_str(),
                  static_cast<unsigned long>(address - static_cast<DWORD>(reinterpret_cast<uintptr_t>(module))));
    return text;
}

}  // namespace

StallSampler::StallSampler(double thresholdUs)
    : threshold_(static_cast<int64_t>(TicksPerSecond() * thresholdUs / 1e6)), samples_(kMaxSamples) {}

void StallSampler::AttachCurrentThread() {
    HANDLE self = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &self,
                      THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, 0);
    audio_.reset(self);
    if (audio_) thread_.reset(::CreateThread(nullptr, 0, &StallSampler::Main, this, 0, nullptr));
}

void StallSampler::Stop() {
    stop_ = true;
    if (thread_) ::WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
    audio_.reset();
}

DWORD WINAPI StallSampler::Main(void* self) {
    static_cast<StallSampler*>(self)->Run();
    return 0;
}

void StallSampler::Run() {
    int64_t sampled = 0;  // the call last sampled: one sample per long call
    while (!stop_) {
        ::Sleep(1);
        const int64_t start = callStart_.load();
        if (!start || start == sampled || Now() - start < threshold_ || count_ >= kMaxSamples) continue;
        if (::SuspendThread(audio_.get()) == static_cast<DWORD>(-1)) continue;
        CONTEXT context{};
        context.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
        if (callStart_.load() == start && ::GetThreadContext(audio_.get(), &context)) {
            Sample& sample = samples_[count_++];
            sample.count = 0;
            sample.frames[sample.count++] = context.Eip;
            // The frame chain, only while it stays within the thread's stack above its pointer.
            DWORD frame = context.Ebp;
            while (sample.count < kMaxFrames && frame >= context.Esp && frame < context.Esp + kStackSpan &&
                   (frame & 3) == 0) {
                const DWORD* words = reinterpret_cast<const DWORD*>(static_cast<uintptr_t>(frame));
                sample.frames[sample.count++] = words[1];
                if (words[0] <= frame) break;
                frame = words[0];
            }
        }
        ::ResumeThread(audio_.get());
        sampled = start;
    }
}

std::vector<std::pair<int, std::string>> StallSampler::Top(size_t chains) const {
    std::map<std::string, int> counts;
    for (int i = 0; i < count_; ++i) {
        std::string chain;
        for (int f = 0; f < samples_[i].count; ++f) chain += (f ? " < " : "") + Where(samples_[i].frames[f]);
        ++counts[chain];
    }
    std::vector<std::pair<int, std::string>> sorted;
    for (const auto& entry : counts) sorted.emplace_back(entry.second, entry.first);
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    if (sorted.size() > chains) sorted.resize(chains);
    return sorted;
}

}  // namespace ombrel::test::bench
