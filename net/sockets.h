#pragma once
// The system's socket headers (Winsock on Windows, POSIX's elsewhere) and this machine's
// IPv4 interfaces as the system lists them, a back end for each: sockets_posix.cpp,
// sockets_win32.cpp.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#endif

#include <cstdint>
#include <string>
#include <vector>

// Before the first name is looked up or socket made outside ENet: Winsock started once
// (nothing to do elsewhere).
void start_sockets();

// One IPv4 address of an interface, in host byte order.
struct LocalInterface {
    uint32_t address = 0;
    uint32_t netmask = 0;    // 0 where the system names none
    uint32_t broadcast = 0;  // 0 where the system names none
    bool up = false;
    bool loopback = false;
    bool broadcasts = false;  // the interface can broadcast
};
std::vector<LocalInterface> local_interfaces();

// "a.b.c.d" for an address in host byte order.
std::string ipv4_text(uint32_t address);
