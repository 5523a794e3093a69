// The four entry points of wmvcore.dll and the stand-in's two test-only ones, __stdcall and
// exported undecorated (wmvcore.def with --kill-at).
#include "standin/wmvcore/Objects.h"
#include "standin/wmvcore/Sinks.h"
#include "standin/wmvcore/TestHooks.h"

extern "C" {

HRESULT STDMETHODCALLTYPE WMCreateWriter(IUnknown* /*certificate*/, IWMWriter** writer) {
    return wmstandin::CreateWriter(writer);
}

HRESULT STDMETHODCALLTYPE WMCreateWriterNetworkSink(IWMWriterNetworkSink** sink) {
    if (!sink) return E_POINTER;
    *sink = nullptr;
    return wmstandin::CreateNetworkSink(sink);
}

HRESULT STDMETHODCALLTYPE WMCreateWriterFileSink(IWMWriterFileSink** sink) {
    if (!sink) return E_POINTER;
    *sink = nullptr;
    return wmstandin::CreateFileSink(sink);
}

HRESULT STDMETHODCALLTYPE WMCreateProfileManager(IWMProfileManager** manager) {
    return wmstandin::CreateProfileManager(manager);
}

// For tests only (TestHooks.h): the platform's runtime has neither.
HRESULT STDMETHODCALLTYPE WMStandInFailNextCall(const char* call, HRESULT hr) {
    return wmstandin::FailNextCall(call, hr);
}

LONG STDMETHODCALLTYPE WMStandInServingThreads() { return wmstandin::ServingThreads(); }

}  // extern "C"
