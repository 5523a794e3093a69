// The four entry points of wmvcore.dll, __stdcall and exported undecorated (wmvcore.def with
// --kill-at).
#include "standin/wmvcore/Objects.h"
#include "standin/wmvcore/Sinks.h"

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

}  // extern "C"
