#include "net/name_lookup.h"

#include <atomic>
#include <thread>

#include "net/sockets.h"

struct NameLookup::Shared {
    std::atomic<bool> done{false};
    std::atomic<uint32_t> ip{0};
};

namespace {

uint32_t resolve(const std::string& host) {
    start_sockets();
    addrinfo hints{}, *found = nullptr;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return 0;
    uint32_t ip = ntohl(reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
    freeaddrinfo(found);
    return ip;
}

}  // namespace

NameLookup::NameLookup(const std::string& host) : host_(host), shared_(std::make_shared<Shared>()) {
    in_addr numeric{};
    if (host.empty() || inet_pton(AF_INET, host.c_str(), &numeric) == 1) {
        shared_->ip = host.empty() ? 0 : ntohl(numeric.s_addr);
        shared_->done = true;
        return;
    }
    std::thread([shared = shared_, host] {
        shared->ip = resolve(host);
        shared->done = true;
    }).detach();
}

NameLookup::~NameLookup() = default;

bool NameLookup::done() const { return shared_->done; }

uint32_t NameLookup::ip() const { return shared_->done ? shared_->ip.load() : 0; }
