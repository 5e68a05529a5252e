// Winsock first: the interfaces' header needs its types.
#include "net/sockets.h"

#include <iphlpapi.h>

#include <mutex>

void start_sockets() {
    static std::once_flag started;
    std::call_once(started, [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    });
}

// Windows names no broadcast address: the network's highest, from the prefix's length.
std::vector<LocalInterface> local_interfaces() {
    std::vector<LocalInterface> out;
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG status = ERROR_BUFFER_OVERFLOW;
    for (int tries = 0; tries < 3 && status == ERROR_BUFFER_OVERFLOW; ++tries) {
        buffer.resize(size);
        status = GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
                                      nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (status != NO_ERROR) return out;
    for (auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); a; a = a->Next) {
        for (IP_ADAPTER_UNICAST_ADDRESS* u = a->FirstUnicastAddress; u; u = u->Next) {
            if (!u->Address.lpSockaddr || u->Address.lpSockaddr->sa_family != AF_INET) continue;
            LocalInterface i;
            i.address = ntohl(reinterpret_cast<sockaddr_in*>(u->Address.lpSockaddr)->sin_addr.s_addr);
            unsigned bits = u->OnLinkPrefixLength;
            i.netmask = bits == 0 ? 0 : bits >= 32 ? 0xffffffffu : ~((1u << (32 - bits)) - 1);
            i.up = a->OperStatus == IfOperStatusUp;
            i.loopback = a->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
            i.broadcasts = !i.loopback && (a->IfType == IF_TYPE_ETHERNET_CSMACD || a->IfType == IF_TYPE_IEEE80211);
            if (i.broadcasts && i.netmask && ~i.netmask > 1) i.broadcast = i.address | ~i.netmask;
            out.push_back(i);
        }
    }
    return out;
}
