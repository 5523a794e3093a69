// Router over miniupnpc (built static from Debian's source package, scripts/build-miniupnpc.sh).
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>

#include "plugin/Router.h"

namespace ombrel {
namespace {

constexpr char kTcp[] = "TCP";

class UpnpRouter final : public Router {
public:
    UpnpRouter() { started_ = ::WSAStartup(MAKEWORD(2, 2), &wsa_) == 0; }
    ~UpnpRouter() override {
        if (found_) FreeUPNPUrls(&urls_);
        if (started_) ::WSACleanup();
    }
    UpnpRouter(const UpnpRouter&) = delete;
    UpnpRouter& operator=(const UpnpRouter&) = delete;

    bool Find(int waitMs) override {
        if (!started_ || found_) return found_;
        int error = 0;
        UPNPDev* devices = upnpDiscover(waitMs, nullptr, nullptr, UPNP_LOCAL_PORT_ANY, 0, 2, &error);
        if (!devices) return false;
        char lan[64] = "";
        // 1: connected with a public address; 2: a gateway all the same (its external address
        // may be private: the caller tells the user); 3: a UPnP device that is no gateway.
        const int kind = UPNP_GetValidIGD(devices, &urls_, &data_, lan, sizeof lan);
        freeUPNPDevlist(devices);
        if (kind == 1 || kind == 2) {
            found_ = true;
            lan_ = lan;
            return true;
        }
        if (kind == 3) FreeUPNPUrls(&urls_);
        return false;
    }

    std::string LanAddress() const override { return lan_; }

    bool IsVersion2() const override {
        return found_ && std::strstr(data_.first.servicetype, "WANIPConnection:2") != nullptr;
    }

    std::string ExternalAddress() override {
        char address[40] = "";
        if (!found_ || UPNP_GetExternalIPAddress(urls_.controlURL, data_.first.servicetype, address) != 0) return {};
        return address;
    }

    int AddMapping(int externalPort, int internalPort, int leaseSeconds) override {
        if (!found_) return -1;
        return UPNP_AddPortMapping(urls_.controlURL, data_.first.servicetype, Number(externalPort).c_str(),
                                   Number(internalPort).c_str(), lan_.c_str(), kPortMappingDescription, kTcp,
                                   nullptr, Number(leaseSeconds).c_str());
    }

    int AddAnyMapping(int externalPort, int internalPort, int leaseSeconds, int* givenPort) override {
        if (!found_) return -1;
        char reserved[8] = "";
        const int result = UPNP_AddAnyPortMapping(
            urls_.controlURL, data_.first.servicetype, Number(externalPort).c_str(), Number(internalPort).c_str(),
            lan_.c_str(), kPortMappingDescription, kTcp, nullptr, Number(leaseSeconds).c_str(), reserved);
        if (result == 0 && givenPort) *givenPort = std::atoi(reserved);
        return result;
    }

    int DeleteMapping(int externalPort) override {
        if (!found_) return -1;
        return UPNP_DeletePortMapping(urls_.controlURL, data_.first.servicetype, Number(externalPort).c_str(), kTcp,
                                      nullptr);
    }

private:
    static std::string Number(int value) { return std::to_string(value); }

    WSADATA wsa_{};
    bool started_ = false;
    bool found_ = false;
    UPNPUrls urls_{};
    IGDdatas data_{};
    std::string lan_;
};

}  // namespace

std::unique_ptr<Router> CreateUpnpRouter() { return std::make_unique<UpnpRouter>(); }

}  // namespace ombrel
