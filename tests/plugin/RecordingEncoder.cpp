#include "tests/plugin/RecordingEncoder.h"

#include <cstdio>

#include "plugin/BroadcastControl.h"

namespace ombrel::test {
namespace {

std::mutex g_mutex;
EncoderScript g_script;
std::vector<std::unique_ptr<RecordingEncoder>> g_created;

HRESULT CreateRecordingEncoder(LiveEncoder** encoder) {
    std::lock_guard<std::mutex> hold(g_mutex);
    *encoder = nullptr;
    if (!g_script.createNothing) {
        g_created.push_back(std::make_unique<RecordingEncoder>(g_script));
        *encoder = g_created.back().get();
    }
    return g_script.createResult;
}

}  // namespace

std::string Utf8(const WCHAR* text) {
    if (!text) return "(null)";
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(bytes > 0 ? bytes : 1, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), bytes, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}

HRESULT RecordingEncoder::Record(const std::string& call) {
    if (released_) ++lateCalls_;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        calls_.push_back(call);
    }
    const std::string name = call.substr(0, call.find(' '));
    return name == script_.failAt ? script_.failWith : S_OK;
}

HRESULT RecordingEncoder::Configure(const InputFormat* format, const EncoderSettings* settings) {
    char text[160];
    std::snprintf(text, sizeof text, "Configure %d/%d/%d audio %d script %d codec %u format %u",
                  format->sampleRate, format->channels, format->bitsPerSample, format->audioEnabled,
                  format->scriptEnabled, settings->audio.codecIndex, settings->audio.formatIndex);
    return Record(text);
}

HRESULT RecordingEncoder::ChangeInputFormat(const InputFormat* format) {
    char text[80];
    std::snprintf(text, sizeof text, "ChangeInputFormat %d/%d/%d", format->sampleRate, format->channels,
                  format->bitsPerSample);
    return Record(text);
}

HRESULT RecordingEncoder::SetBroadcastPort(DWORD port) { return Record("SetBroadcastPort " + std::to_string(port)); }

HRESULT RecordingEncoder::SetMaxClients(DWORD count) { return Record("SetMaxClients " + std::to_string(count)); }

HRESULT RecordingEncoder::WriteAudio(const BYTE*, INT32 frames) {
    if (audioEntered && audioProceed) {
        ::SetEvent(audioEntered);
        ::WaitForSingleObject(audioProceed, INFINITE);
    }
    ++audioBlocks_;
    return Record("WriteAudio " + std::to_string(frames));
}

HRESULT RecordingEncoder::WriteScript(const WCHAR* type, const WCHAR* command) {
    return Record("WriteScript " + Utf8(type) + "|" + Utf8(command));
}

HRESULT RecordingEncoder::SetStringAttribute(const WCHAR* name, const WCHAR* value) {
    return Record("SetStringAttribute " + Utf8(name) + "=" + Utf8(value));
}

HRESULT RecordingEncoder::GetErrorText(char* buffer, DWORD size) {
    Record("GetErrorText");
    if (!buffer || size == 0) return E_INVALIDARG;
    std::snprintf(buffer, size, "%s", script_.errorText.c_str());
    return S_OK;
}

void RecordingEncoder::Release() {
    Record("Release");
    released_ = true;
}

std::vector<std::string> RecordingEncoder::Calls() {
    std::lock_guard<std::mutex> hold(mutex_);
    return calls_;
}

std::vector<std::string> RecordingEncoder::CallsStartingWith(const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& call : Calls())
        if (call.compare(0, prefix.size(), prefix) == 0) found.push_back(call);
    return found;
}

RecordingEncoders::RecordingEncoders() {
    SetScript(EncoderScript{});
    SetEncoderFactory(CreateRecordingEncoder);
}

RecordingEncoders::~RecordingEncoders() {
    SetEncoderFactory(nullptr);
    std::lock_guard<std::mutex> hold(g_mutex);
    g_created.clear();
}

void RecordingEncoders::SetScript(const EncoderScript& script) {
    std::lock_guard<std::mutex> hold(g_mutex);
    g_script = script;
}

size_t RecordingEncoders::Created() {
    std::lock_guard<std::mutex> hold(g_mutex);
    return g_created.size();
}

RecordingEncoder* RecordingEncoders::At(size_t index) {
    std::lock_guard<std::mutex> hold(g_mutex);
    return index < g_created.size() ? g_created[index].get() : nullptr;
}

RecordingEncoder* RecordingEncoders::Last() {
    std::lock_guard<std::mutex> hold(g_mutex);
    return g_created.empty() ? nullptr : g_created.back().get();
}

}  // namespace ombrel::test
