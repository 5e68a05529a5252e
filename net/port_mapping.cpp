#include "net/port_mapping.h"

#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>
#include <natpmp.h>

#include "net/sockets.h"

namespace {

constexpr uint32_t kLeaseSeconds = 3600;
const char kDescription[] = "RC Whirlbat";

uint32_t ip_of(const char* text) {
    in_addr a{};
    return inet_pton(AF_INET, text, &a) == 1 ? ntohl(a.s_addr) : 0;
}

}  // namespace

void PortMapping::start(uint16_t port) {
    port_ = port;
    started_ = std::chrono::steady_clock::now();
    upnp_thread_ = std::thread([this] { upnp(); });
    natpmp_thread_ = std::thread([this] { natpmp(); });
}

bool PortMapping::settled() const {
    if (port_ == 0) return true;
    return answered_ == 2 || !external().empty() ||
           std::chrono::steady_clock::now() - started_ >= std::chrono::milliseconds(PORT_MAPPING_MS);
}

LobbyAddress PortMapping::external() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return external_;
}

std::string PortMapping::how() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return how_;
}

void PortMapping::found(const LobbyAddress& a, const char* how) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!external_.empty()) return;
    external_ = a;
    how_ = how;
}

void PortMapping::upnp() {
    int error = 0;
    // Discovery waits at most a second for routers to answer.
    UPNPDev* devices = upnpDiscover(1000, nullptr, nullptr, UPNP_LOCAL_PORT_ANY, 0, 2, &error);
    UPNPUrls urls{};
    IGDdatas data{};
    char lan[64] = {};
    if (devices && !stop_ && UPNP_GetValidIGD(devices, &urls, &data, lan, sizeof lan) == 1) {
        char external[40] = {};
        std::string port = std::to_string(port_);
        if (UPNP_GetExternalIPAddress(urls.controlURL, data.first.servicetype, external) == UPNPCOMMAND_SUCCESS &&
            UPNP_AddPortMapping(urls.controlURL, data.first.servicetype, port.c_str(), port.c_str(), lan, kDescription,
                                "UDP", nullptr, std::to_string(kLeaseSeconds).c_str()) == UPNPCOMMAND_SUCCESS) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                upnp_control_ = urls.controlURL;
                upnp_service_ = data.first.servicetype;
            }
            found({ip_of(external), port_}, "UPnP");
        }
    }
    if (urls.controlURL) FreeUPNPUrls(&urls);
    if (devices) freeUPNPDevlist(devices);
    ++answered_;
}

void PortMapping::natpmp() {
    natpmp_t n;
    if (initnatpmp(&n, 0, 0) != 0) {
        ++answered_;
        return;
    }
    auto until = started_ + std::chrono::milliseconds(PORT_MAPPING_MS);
    // One request at a time: the public address, then the mapping.
    natpmpresp_t response{};
    auto ask = [&](bool mapping) {
        int sent = mapping ? sendnewportmappingrequest(&n, NATPMP_PROTOCOL_UDP, port_, port_, kLeaseSeconds)
                           : sendpublicaddressrequest(&n);
        if (sent < 0) return false;
        while (!stop_ && std::chrono::steady_clock::now() < until) {
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
    };
    if (ask(false)) {
        uint32_t ip = ntohl(response.pnu.publicaddress.addr.s_addr);
        if (ask(true) && response.type == NATPMP_RESPTYPE_UDPPORTMAPPING) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                natpmp_mapped_ = true;
            }
            found({ip, response.pnu.newportmapping.mappedpublicport}, "NAT-PMP");
        }
    }
    closenatpmp(&n);
    ++answered_;
}

PortMapping::~PortMapping() {
    stop_ = true;
    if (upnp_thread_.joinable()) upnp_thread_.join();
    if (natpmp_thread_.joinable()) natpmp_thread_.join();
    if (!upnp_control_.empty()) {
        UPNP_DeletePortMapping(upnp_control_.c_str(), upnp_service_.c_str(), std::to_string(port_).c_str(), "UDP", nullptr);
    }
    if (natpmp_mapped_) {
        // A lifetime of 0 removes the mapping; a moment for the router to answer.
        natpmp_t n;
        if (initnatpmp(&n, 0, 0) == 0) {
            natpmpresp_t response{};
            if (sendnewportmappingrequest(&n, NATPMP_PROTOCOL_UDP, port_, 0, 0) >= 0) {
                for (int i = 0; i < 10; ++i) {
                    fd_set fds;
                    FD_ZERO(&fds);
                    FD_SET(n.s, &fds);
                    timeval wait{0, 50000};
                    select(n.s + 1, &fds, nullptr, nullptr, &wait);
                    if (readnatpmpresponseorretry(&n, &response) != NATPMP_TRYAGAIN) break;
                }
            }
            closenatpmp(&n);
        }
    }
}
