// The router's port mapping service (a UPnP Internet gateway device) as the plug-in uses it: one
// small interface, so the choices made around it can be tried against a router of the test's own
// or the real one.
#pragma once

#include <memory>
#include <string>

namespace ombrel {

// WANIPConnection error codes that the plug-in reads; any other is shown by its number.
constexpr int kUpnpNotAuthorized = 606;
constexpr int kUpnpConflictInMappingEntry = 718;
constexpr int kUpnpSamePortValuesRequired = 724;
constexpr int kUpnpOnlyPermanentLeasesSupported = 725;
constexpr int kUpnpExternalPortOnlySupportsWildcard = 727;
constexpr int kUpnpNoPortMapsAvailable = 728;
constexpr int kUpnpConflictWithOtherMechanisms = 729;

// What the plug-in writes as the mapping's description on the router's list.
constexpr char kPortMappingDescription[] = "Ombrel DSP plugin";

class Router {
public:
    virtual ~Router() = default;
    // Looks for a gateway on the LAN for about waitMs; true when one answered and its
    // description was read.
    virtual bool Find(int waitMs) = 0;
    // This PC's address as the router sees it (dotted IPv4).
    virtual std::string LanAddress() const = 0;
    // The gateway's WANIPConnection is version 2 (it has AddAnyPortMapping).
    virtual bool IsVersion2() const = 0;
    // The router's external address, dotted; empty when it gives none.
    virtual std::string ExternalAddress() = 0;
    // TCP externalPort to LanAddress():internalPort. 0, or the router's UPnP error code
    // (negative when no answer came).
    virtual int AddMapping(int externalPort, int internalPort, int leaseSeconds) = 0;
    // The same, the router choosing the external port near the one asked; *givenPort takes it.
    virtual int AddAnyMapping(int externalPort, int internalPort, int leaseSeconds, int* givenPort) = 0;
    virtual int DeleteMapping(int externalPort) = 0;
};

// The real one: miniupnpc over Windows sockets. Never null.
std::unique_ptr<Router> CreateUpnpRouter();

}  // namespace ombrel
