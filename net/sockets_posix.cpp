#include <ifaddrs.h>
#include <net/if.h>


#include "net/sockets.h"

void start_sockets() {}

std::vector<LocalInterface> local_interfaces() {
    std::vector<LocalInterface> out;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return out;
    auto ip = [](const sockaddr* a) { return a ? ntohl(reinterpret_cast<const sockaddr_in*>(a)->sin_addr.s_addr) : 0u; };
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET) continue;
        LocalInterface i;
        i.address = ip(a->ifa_addr);
        i.netmask = ip(a->ifa_netmask);
        i.broadcasts = (a->ifa_flags & IFF_BROADCAST) != 0;
        i.broadcast = i.broadcasts ? ip(a->ifa_broadaddr) : 0;
        i.up = (a->ifa_flags & IFF_UP) != 0;
        i.loopback = (a->ifa_flags & IFF_LOOPBACK) != 0;
        out.push_back(i);
    }
    freeifaddrs(list);
    return out;
}
