#include "plugin/PortMapping.h"

#include <memory>

#include "plugin/LanAddress.h"
#include "win/CriticalSection.h"
#include "win/ModuleThread.h"
#include "win/UniqueAny.h"

namespace ombrel {
namespace {

// One broadcast's worker and what it shares with the main thread.
struct Session {
    int port = 0;
    win::UniqueEvent stop;           // manual reset: set by the stop, never reset
    win::UniqueThread previous;      // the last broadcast's worker, still removing its mapping
};

win::CriticalSection g_lock;
// Under g_lock: what the monitor shows, and the session it belongs to (a worker whose session
// is no longer current or has been told to stop changes nothing).
PortMappingView g_view;
std::shared_ptr<Session> g_session;
// Main thread only: the current (or last) worker.
win::UniqueThread g_worker;
RouterFactory g_factory = CreateUpnpRouter;

bool Stopped(const Session& session) { return ::WaitForSingleObject(session.stop.get(), 0) == WAIT_OBJECT_0; }

void Publish(const std::shared_ptr<Session>& session, const PortMappingView& view) {
    win::CsLock hold(g_lock);
    if (g_session != session || Stopped(*session)) return;
    g_view = view;
}

// The answers of AddPortMapping after which a version 2 gateway is asked for any free port:
// the port is outside what this client may map (606), mapped to another client (718), the
// gateway takes only a port of its choosing (727) or uses the port itself (729).
bool AnotherPortMayDo(int code) {
    return code == kUpnpNotAuthorized || code == kUpnpConflictInMappingEntry ||
           code == kUpnpExternalPortOnlySupportsWildcard || code == kUpnpConflictWithOtherMechanisms;
}

void RunSession(const std::shared_ptr<Session>& session) {
    // The last broadcast's removal goes first, or it would take away this one's mapping.
    if (session->previous) {
        const HANDLE waits[] = {session->stop.get(), session->previous.get()};
        if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return;
    }
    PortMappingView view;
    view.port = session->port;
    view.lanAddress = DefaultRouteAddress();
    view.state = PortMappingState::Searching;
    Publish(session, view);

    std::unique_ptr<Router> router = g_factory();
    if (!router || !router->Find(kRouterSearchMs)) {
        view.state = PortMappingState::NoRouter;
        Publish(session, view);
        return;
    }
    if (!router->LanAddress().empty()) view.lanAddress = router->LanAddress();
    if (Stopped(*session)) return;
    const MappingOutcome outcome = MapPortOnRouter(*router, session->port, kPortLeaseSeconds);
    view.state = outcome.state;
    view.externalPort = outcome.externalPort;
    view.code = outcome.code;
    view.externalAddress = outcome.externalAddress;
    Publish(session, view);
    if (outcome.state != PortMappingState::Mapped && outcome.state != PortMappingState::OtherPort) return;

    // Renewed at half the lease until the stop; then removed.
    while (::WaitForSingleObject(session->stop.get(), kPortLeaseSeconds * 1000 / 2) == WAIT_TIMEOUT)
        router->AddMapping(outcome.externalPort, session->port, kPortLeaseSeconds);
    router->DeleteMapping(outcome.externalPort);
}

DWORD WINAPI Worker(LPVOID parameter) {
    std::unique_ptr<std::shared_ptr<Session>> holder(static_cast<std::shared_ptr<Session>*>(parameter));
    const std::shared_ptr<Session> session = *holder;
    holder.reset();
    win::Firewall([&] { RunSession(session); });
    return 0;
}

}  // namespace

MappingOutcome MapPortOnRouter(Router& router, int port, int leaseSeconds) {
    MappingOutcome outcome;
    outcome.externalAddress = router.ExternalAddress();
    // A mapping here would only reach the network of the router in front.
    if (!IsPublicAddress(outcome.externalAddress)) {
        outcome.state = PortMappingState::DoubleNat;
        return outcome;
    }
    int code = router.AddMapping(port, port, leaseSeconds);
    // A first-version gateway may take only mappings without end: the stop still removes it.
    if (code == kUpnpOnlyPermanentLeasesSupported) code = router.AddMapping(port, port, 0);
    if (code == 0) {
        outcome.state = PortMappingState::Mapped;
        outcome.externalPort = port;
        return outcome;
    }
    outcome.code = code;
    if (router.IsVersion2() && AnotherPortMayDo(code)) {
        int given = 0;
        if (router.AddAnyMapping(port, port, leaseSeconds, &given) == 0 && given > 0 && given <= 65535) {
            outcome.state = given == port ? PortMappingState::Mapped : PortMappingState::OtherPort;
            outcome.externalPort = given;
            return outcome;
        }
    }
    outcome.state = PortMappingState::Refused;
    return outcome;
}

PortMappingView CurrentPortMapping() {
    PortMappingView view;
    {
        win::CsLock hold(g_lock);
        view = g_view;
    }
    if (view.state != PortMappingState::LanOnly || !view.lanAddress.empty()) return view;
    view.lanAddress = DefaultRouteAddress();
    win::CsLock hold(g_lock);
    if (g_view.state == PortMappingState::LanOnly && g_view.lanAddress.empty()) g_view.lanAddress = view.lanAddress;
    return view;
}

std::string ListenAddress(const PortMappingView& view) {
    switch (view.state) {
    case PortMappingState::Mapped:
    case PortMappingState::OtherPort:
        return "http://" + view.externalAddress + ":" + std::to_string(view.externalPort) + "/";
    case PortMappingState::LanOnly:
    case PortMappingState::NoRouter:
    case PortMappingState::Refused:
    case PortMappingState::DoubleNat:
        return "http://" + view.lanAddress + ":" + std::to_string(view.port) + "/";
    case PortMappingState::Idle:
    case PortMappingState::Searching:
        break;
    }
    return std::string();
}

void StartPortMapping(int port, bool mapOnRouter) {
    if (!mapOnRouter) {
        // No worker and nothing sent: the LAN address is read from the routing table when the
        // monitor first asks, so the start itself takes no longer.
        PortMappingView view;
        view.state = PortMappingState::LanOnly;
        view.port = port;
        win::CsLock hold(g_lock);
        g_session.reset();
        g_view = view;
        return;
    }
    auto session = std::make_shared<Session>();
    session->port = port;
    session->stop.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!session->stop) return;
    session->previous = std::move(g_worker);
    PortMappingView view;
    view.port = port;
    view.state = PortMappingState::Searching;
    {
        win::CsLock hold(g_lock);
        g_session = session;
        g_view = view;
    }
    auto* holder = new std::shared_ptr<Session>(session);
    g_worker = win::StartModuleThread(Worker, holder);
    if (!g_worker) {
        delete holder;
        // Nothing was mapped; the last worker is still the one to wait for at Quit.
        g_worker = std::move(session->previous);
    }
}

void EndPortMapping() {
    {
        win::CsLock hold(g_lock);
        if (g_session) ::SetEvent(g_session->stop.get());
        g_session.reset();
        g_view = PortMappingView();
    }
    // A worker that has already ended (nothing was mapped) leaves no handle behind; one still
    // removing its mapping is waited for by the next start or Quit.
    AwaitPortMappingEnd(0);
}

void AwaitPortMappingEnd(DWORD ms) {
    if (!g_worker) return;
    if (::WaitForSingleObject(g_worker.get(), ms) == WAIT_OBJECT_0) g_worker.reset();
}

RouterFactory SetRouterFactory(RouterFactory factory) {
    RouterFactory previous = g_factory;
    g_factory = factory ? factory : CreateUpnpRouter;
    return previous;
}

}  // namespace ombrel
