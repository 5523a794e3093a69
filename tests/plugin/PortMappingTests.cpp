// The router's port: what the plug-in asks of the router after each of its answers, which
// addresses count as reachable from the internet, and the worker's life: the stop returns at once
// while the router is still being told, the mapping is removed after it, and the next broadcast
// maps only once the last one's removal is done. The real router (miniupnpd) is met in
// tests/upnp/router_e2e.py.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "plugin/LanAddress.h"
#include "plugin/PortMapping.h"
#include "tests/common/Stopwatch.h"
#include "win/UniqueAny.h"

namespace ombrel::test {
namespace {

// A router that answers from a script and records what it was asked, in order.
struct ScriptedRouter : Router {
    std::string external = "11.22.33.1";
    bool version2 = true;
    std::vector<int> addAnswers;  // AddMapping's answers in turn; 0 once they run out
    int anyAnswer = 0;
    int anyPort = 0;
    std::vector<std::string> calls;

    bool Find(int) override { return true; }
    std::string LanAddress() const override { return "192.168.1.2"; }
    bool IsVersion2() const override { return version2; }
    std::string ExternalAddress() override { return external; }
    int AddMapping(int externalPort, int, int lease) override {
        calls.push_back("add " + std::to_string(externalPort) + " lease " + std::to_string(lease));
        const size_t turn = calls.size() - 1;
        return turn < addAnswers.size() ? addAnswers[turn] : 0;
    }
    int AddAnyMapping(int externalPort, int, int, int* given) override {
        calls.push_back("any " + std::to_string(externalPort));
        if (anyAnswer == 0) *given = anyPort;
        return anyAnswer;
    }
    int DeleteMapping(int externalPort) override {
        calls.push_back("delete " + std::to_string(externalPort));
        return 0;
    }
};

TEST(PortMappingPolicy, EachAnswerOfTheRouterLeadsToItsOutcome) {
    const struct {
        const char* what;
        std::string external;
        bool version2;
        std::vector<int> addAnswers;
        int anyAnswer, anyPort;
        PortMappingState state;
        int externalPort, code;
        std::vector<std::string> calls;
    } cases[] = {
        {"taken at once", "11.22.33.1", true, {}, 0, 0, PortMappingState::Mapped, 8080, 0, {"add 8080 lease 3600"}},
        {"v1 outside the allowed set: no other port to ask for", "11.22.33.1", false, {606}, 0, 0,
         PortMappingState::Refused, 0, 606, {"add 8080 lease 3600"}},
        {"v2 outside the allowed set: the port it gives", "11.22.33.1", true, {606}, 0, 20000,
         PortMappingState::OtherPort, 20000, 606, {"add 8080 lease 3600", "any 8080"}},
        {"v2 another PC has it", "11.22.33.1", true, {718}, 0, 8081, PortMappingState::OtherPort, 8081, 718,
         {"add 8080 lease 3600", "any 8080"}},
        {"v2 the router uses it, and has nothing else", "11.22.33.1", true, {729}, 728, 0, PortMappingState::Refused, 0,
         729, {"add 8080 lease 3600", "any 8080"}},
        {"an error no other port helps", "11.22.33.1", true, {501}, 0, 0, PortMappingState::Refused, 0, 501,
         {"add 8080 lease 3600"}},
        {"permanent leases only", "11.22.33.1", false, {725}, 0, 0, PortMappingState::Mapped, 8080, 0,
         {"add 8080 lease 3600", "add 8080 lease 0"}},
        {"carrier NAT outside", "100.64.3.4", true, {}, 0, 0, PortMappingState::DoubleNat, 0, 0, {}},
        {"a private address outside", "192.168.0.10", true, {}, 0, 0, PortMappingState::DoubleNat, 0, 0, {}},
        {"no external address", "", true, {}, 0, 0, PortMappingState::DoubleNat, 0, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedRouter router;
        router.external = c.external;
        router.version2 = c.version2;
        router.addAnswers = c.addAnswers;
        router.anyAnswer = c.anyAnswer;
        router.anyPort = c.anyPort;
        const MappingOutcome outcome = MapPortOnRouter(router, 8080, kPortLeaseSeconds);
        EXPECT_EQ(int(outcome.state), int(c.state));
        EXPECT_EQ(outcome.externalPort, c.externalPort);
        EXPECT_EQ(outcome.code, c.code);
        EXPECT_EQ(outcome.externalAddress, c.external);
        EXPECT_EQ(router.calls, c.calls);
    }
}

TEST(PortMappingPolicy, OnlyAddressesOnTheInternetArePublic) {
    for (const char* address : {"11.22.33.1", "1.1.1.1", "100.63.255.255", "100.128.0.1", "172.15.0.1",
                                "172.32.0.1", "192.169.0.1", "223.255.255.254"})
        EXPECT_TRUE(IsPublicAddress(address)) << address;
    for (const char* address : {"", "0.0.0.0", "10.1.2.3", "100.64.0.1", "100.127.255.254", "127.0.0.1",
                                "169.254.1.1", "172.16.0.1", "172.31.255.1", "192.168.1.1", "192.0.2.7",
                                "198.18.0.1", "198.51.100.1", "203.0.113.9", "224.0.0.1", "255.255.255.255",
                                "1.2.3", "1.2.3.4.5", "256.1.1.1", "a.b.c.d", "1.2.3.4 "})
        EXPECT_FALSE(IsPublicAddress(address)) << "'" << address << "'";
}

// The worker's router: each one made is kept here, and Delete can be made slow.
std::atomic<LONG> g_deleteDelayMs{0};
std::atomic<LONG> g_deletes{0};
std::atomic<LONG> g_adds{0};
std::atomic<LONG> g_refuse{0};

struct SlowRouter : ScriptedRouter {
    SlowRouter() {
        if (g_refuse) addAnswers = {501};
    }
    int AddMapping(int externalPort, int internalPort, int lease) override {
        ++g_adds;
        return ScriptedRouter::AddMapping(externalPort, internalPort, lease);
    }
    int DeleteMapping(int externalPort) override {
        ::Sleep(DWORD(g_deleteDelayMs.load()));
        ++g_deletes;
        return ScriptedRouter::DeleteMapping(externalPort);
    }
};

std::unique_ptr<Router> MakeSlowRouter() { return std::make_unique<SlowRouter>(); }

bool WaitFor(PortMappingState state, DWORD ms) {
    const DWORD start = ::GetTickCount();
    while (CurrentPortMapping().state != state) {
        if (::GetTickCount() - start > ms) return false;
        ::Sleep(5);
    }
    return true;
}

class PortMappingWorker : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = SetRouterFactory(MakeSlowRouter);
        g_deleteDelayMs = 0;
        g_deletes = 0;
        g_adds = 0;
        g_refuse = 0;
    }
    void TearDown() override {
        EndPortMapping();
        AwaitPortMappingEnd(5000);
        SetRouterFactory(previous_);
    }
    RouterFactory previous_ = nullptr;
};

TEST_F(PortMappingWorker, TheStopReturnsAtOnceAndTheMappingIsRemovedAfterIt) {
    StartPortMapping(8080, true);
    ASSERT_TRUE(WaitFor(PortMappingState::Mapped, 3000));
    const PortMappingView view = CurrentPortMapping();
    EXPECT_EQ(ListenAddress(view), "http://11.22.33.1:8080/");
    EXPECT_EQ(view.lanAddress, "192.168.1.2");

    // A router that takes a second to answer the removal.
    g_deleteDelayMs = 1000;
    Stopwatch stop;
    EndPortMapping();
    const DWORD stopMs = stop.ms();
    std::printf("stop returned in %lu ms while the router answers in 1000 ms\n", static_cast<unsigned long>(stopMs));
    EXPECT_LT(stopMs, 100u);
    EXPECT_EQ(int(CurrentPortMapping().state), int(PortMappingState::Idle));
    EXPECT_EQ(ListenAddress(CurrentPortMapping()), "");
    EXPECT_EQ(g_deletes.load(), 0);
    AwaitPortMappingEnd(3000);
    EXPECT_EQ(g_deletes.load(), 1);
}

// Nothing mapped (no router): the stop leaves no thread handle or event behind.
TEST_F(PortMappingWorker, AStopAfterNothingWasMappedLeavesNoHandle) {
    const long threads = win::UniqueThread::LiveCount();
    const long events = win::UniqueEvent::LiveCount();
    g_refuse = 1;
    StartPortMapping(8080, true);
    ASSERT_TRUE(WaitFor(PortMappingState::Refused, 3000));
    ::Sleep(50);  // the worker returns right after it published the refusal
    EndPortMapping();
    EXPECT_EQ(threads, win::UniqueThread::LiveCount());
    EXPECT_EQ(events, win::UniqueEvent::LiveCount());
}

TEST_F(PortMappingWorker, TheNextBroadcastMapsOnlyAfterTheLastRemovalAndKeepsItsOwnLine) {
    StartPortMapping(8080, true);
    ASSERT_TRUE(WaitFor(PortMappingState::Mapped, 3000));
    g_deleteDelayMs = 500;
    EndPortMapping();
    StartPortMapping(8080, true);
    // The second worker waits for the first one's removal before it adds its own mapping.
    ASSERT_TRUE(WaitFor(PortMappingState::Mapped, 3000));
    EXPECT_EQ(g_deletes.load(), 1);
    EXPECT_EQ(g_adds.load(), 2);
}

TEST_F(PortMappingWorker, WithTheOptionOffOnlyTheLanAddressIsShown) {
    const long threads = win::UniqueThread::LiveCount();
    StartPortMapping(8080, false);
    EXPECT_EQ(int(CurrentPortMapping().state), int(PortMappingState::LanOnly));
    EXPECT_EQ(threads, win::UniqueThread::LiveCount()) << "no worker without the option";
    const std::string address = ListenAddress(CurrentPortMapping());
    EXPECT_EQ(address.rfind("http://", 0), 0u) << address;
    EXPECT_EQ(address.substr(address.size() - 6), ":8080/") << address;
    EXPECT_EQ(g_adds.load(), 0);
}

}  // namespace
}  // namespace ombrel::test
