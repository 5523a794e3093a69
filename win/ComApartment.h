// COM initialisation of the calling thread, undone only when it took effect: uninitialising
// after a failed CoInitializeEx would take away the host thread's own initialisation.
#pragma once

#include <objbase.h>

namespace win {

class ComApartment {
public:
    ComApartment() noexcept : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(hr_)) ::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    HRESULT Result() const noexcept { return hr_; }

private:
    HRESULT hr_;
};

}  // namespace win
