#include "net/port_mapping.h"

#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>
#include <natpmp.h>

#include "net/sockets.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kLeaseSeconds = 3600;
const char kDescription[] = "RC Whirlbat";
// What the program's end gives the removals under way.
constexpr auto kRemovalAtExit = std::chrono::milliseconds(500);

uint32_t ip_of(const char* text) {
    in_addr a{};
    return inet_pton(AF_INET, text, &a) == 1 ? ntohl(a.s_addr) : 0;
}

// The removals under way, which the program's end waits for a moment.
struct Removals {
    std::mutex lock;
    std::condition_variable done;
    int busy = 0;
};

Removals& removals() {
    static Removals* r = new Removals;  // outlives every thread, even at exit
    return *r;
}

void wait_for_removals() {
    Removals& r = removals();
    std::unique_lock<std::mutex> hold(r.lock);
    r.done.wait_for(hold, kRemovalAtExit, [&] { return r.busy == 0; });
}

}  // namespace

struct PortMapping::Shared {
    uint16_t port = 0;
    Clock::time_point settle_by, deadline;
    mutable std::mutex lock;
    std::condition_variable abandoned_now;
    bool abandoned = false;
    int answered = 0, holding = 0;
    LobbyAddress external;
    std::string how;

    // Under the deadline and wanted: the mapping is reported. Otherwise false: the
    // thread removes it again.
    bool report(const LobbyAddress& a, const char* by) {
        std::lock_guard<std::mutex> hold(lock);
        if (abandoned || Clock::now() > deadline) return false;
        if (external.empty()) {
            external = a;
            how = by;
        }
        ++holding;
        return true;
    }
    void answer() {
        std::lock_guard<std::mutex> hold(lock);
        ++answered;
    }
    // Until the PortMapping goes (which counts the removal as under way); then the
    // thread removes its mapping.
    void hold_until_abandoned() {
        std::unique_lock<std::mutex> hold(lock);
        abandoned_now.wait(hold, [&] { return abandoned; });
    }
};

namespace {

void removed() {
    Removals& r = removals();
    {
        std::lock_guard<std::mutex> hold(r.lock);
        --r.busy;
    }
    r.done.notify_all();
}

void upnp(std::shared_ptr<PortMapping::Shared> s) {
    int error = 0;
    // Discovery waits at most a second for routers to answer; a router that missed the
    // search (a datagram lost, a router still starting) is asked twice more.
    UPNPDev* devices = nullptr;
    for (int tries = 0; !devices && tries < 3 && Clock::now() < s->deadline; ++tries)
        devices = upnpDiscover(1000, nullptr, nullptr, UPNP_LOCAL_PORT_ANY, 0, 2, &error);
    UPNPUrls urls{};
    IGDdatas data{};
    char lan[64] = {};
    std::string port = std::to_string(s->port);
    bool mapped = false;
    if (devices && UPNP_GetValidIGD(devices, &urls, &data, lan, sizeof lan) == 1) {
        char external[40] = {};
        if (UPNP_GetExternalIPAddress(urls.controlURL, data.first.servicetype, external) == UPNPCOMMAND_SUCCESS &&
            UPNP_AddPortMapping(urls.controlURL, data.first.servicetype, port.c_str(), port.c_str(), lan, kDescription,
                                "UDP", nullptr, std::to_string(kLeaseSeconds).c_str()) == UPNPCOMMAND_SUCCESS) {
            mapped = s->report({ip_of(external), s->port}, "UPnP");
            s->answer();
            if (mapped) s->hold_until_abandoned();
            UPNP_DeletePortMapping(urls.controlURL, data.first.servicetype, port.c_str(), "UDP", nullptr);
        } else {
            s->answer();
        }
    } else {
        s->answer();
    }
    if (urls.controlURL) FreeUPNPUrls(&urls);
    if (devices) freeUPNPDevlist(devices);
    if (mapped) removed();
}

// One NAT-PMP request and its answer, until `until`.
bool natpmp_ask(natpmp_t& n, natpmpresp_t& response, uint16_t port, uint32_t lease, Clock::time_point until, bool mapping) {
    int sent = mapping ? sendnewportmappingrequest(&n, NATPMP_PROTOCOL_UDP, port, lease ? port : 0, lease)
                       : sendpublicaddressrequest(&n);
    if (sent < 0) return false;
    while (Clock::now() < until) {
        fd_set fds;
        FD_ZERO(&fds);
        FD_SET(n.s, &fds);
        timeval wait{0, 50000};
        select(n.s + 1, &fds, nullptr, nullptr, &wait);
        int r = readnatpmpresponseorretry(&n, &response);
        if (r == 0) return true;
        if (r != NATPMP_TRYAGAIN) return false;
    }
    return false;
}

void natpmp(std::shared_ptr<PortMapping::Shared> s) {
    natpmp_t n;
    if (initnatpmp(&n, 0, 0) != 0) {
        s->answer();
        return;
    }
    natpmpresp_t response{};
    bool made = false, mapped = false;
    if (natpmp_ask(n, response, s->port, kLeaseSeconds, s->deadline, false)) {
        uint32_t ip = ntohl(response.pnu.publicaddress.addr.s_addr);
        if (natpmp_ask(n, response, s->port, kLeaseSeconds, s->deadline, true) &&
            response.type == NATPMP_RESPTYPE_UDPPORTMAPPING) {
            made = true;
            mapped = s->report({ip, response.pnu.newportmapping.mappedpublicport}, "NAT-PMP");
            s->answer();
            if (mapped) s->hold_until_abandoned();
            // A lifetime of 0 removes the mapping; a moment for the router to answer.
            natpmp_ask(n, response, s->port, 0, Clock::now() + std::chrono::milliseconds(500), true);
        }
    }
    if (!made) s->answer();
    closenatpmp(&n);
    if (mapped) removed();
}

}  // namespace

void PortMapping::start(uint16_t port) {
    static bool at_exit = (std::atexit(wait_for_removals), true);
    (void)at_exit;
    shared_ = std::make_shared<Shared>();
    shared_->port = port;
    shared_->settle_by = Clock::now() + std::chrono::milliseconds(PORT_MAPPING_MS);
    shared_->deadline = Clock::now() + std::chrono::milliseconds(PORT_MAPPING_DEADLINE_MS);
    std::thread(upnp, shared_).detach();
    std::thread(natpmp, shared_).detach();
}

bool PortMapping::settled() const {
    if (!shared_) return true;
    std::lock_guard<std::mutex> hold(shared_->lock);
    return shared_->answered == 2 || !shared_->external.empty() || Clock::now() >= shared_->settle_by;
}

LobbyAddress PortMapping::external() const {
    if (!shared_) return {};
    std::lock_guard<std::mutex> hold(shared_->lock);
    return shared_->external;
}

std::string PortMapping::how() const {
    if (!shared_) return "";
    std::lock_guard<std::mutex> hold(shared_->lock);
    return shared_->how;
}

PortMapping::~PortMapping() {
    if (!shared_) return;
    {
        std::lock_guard<std::mutex> hold(shared_->lock);
        shared_->abandoned = true;
        std::lock_guard<std::mutex> count(removals().lock);
        removals().busy += shared_->holding;
    }
    shared_->abandoned_now.notify_all();
}
