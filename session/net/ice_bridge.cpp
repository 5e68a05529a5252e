#include "session/net/ice_bridge.h"

#if WHIRLBAT_RELAY
#include <agent.h>
#endif
#include <arpa/inet.h>
#if WHIRLBAT_RELAY
#include <glib-unix.h>
#endif
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace {

std::string ip_text(uint32_t ip) {
    in_addr a{htonl(ip)};
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

#if WHIRLBAT_RELAY
struct RemoteCall {
    NiceAgent* agent;
    std::string sdp;
};
#endif

}  // namespace

bool parse_ice_relay(const std::string& text, IceRelay* out, std::string* why) {
    size_t at = text.rfind('@'), colon = text.find(':');
    if (at == std::string::npos || colon == std::string::npos || colon > at || colon == 0) {
        *why = "--relay needs USER:PASSWORD@HOST or USER:PASSWORD@HOST:PORT";
        return false;
    }
    IceRelay r;
    r.user = text.substr(0, colon);
    r.password = text.substr(colon + 1, at - colon - 1);
    std::string host = text.substr(at + 1);
    size_t port_colon = host.rfind(':');
    if (port_colon != std::string::npos) {
        std::string digits = host.substr(port_colon + 1);
        char* end = nullptr;
        long port = std::strtol(digits.c_str(), &end, 10);
        if (digits.empty() || *end || port < 1 || port > 65535) {
            *why = "--relay needs a port from 1 to 65535";
            return false;
        }
        r.port = uint16_t(port);
        host = host.substr(0, port_colon);
    }
    addrinfo hints{}, *found = nullptr;
    hints.ai_family = AF_INET;
    if (host.empty() || getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) {
        *why = "cannot find the relay " + host;
        return false;
    }
    r.ip = ntohl(reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
    freeaddrinfo(found);
    *out = r;
    return true;
}

#if WHIRLBAT_RELAY

IceBridge::IceBridge(bool controlling, const IceRelay& relay, uint16_t game_port)
    : controlling_(controlling), relay_(relay), game_port_(game_port) {}

IceBridge::~IceBridge() {
    if (thread_.joinable()) {
        // Give the relay its allocation back before going (within a second at most),
        // rather than leaving it to time out there.
        g_main_context_invoke(
            context_,
            [](gpointer p) -> gboolean {
                auto* self = static_cast<IceBridge*>(p);
                GSource* late = g_timeout_source_new(1000);
                g_source_set_callback(late, [](gpointer loop) -> gboolean {
                    g_main_loop_quit(static_cast<GMainLoop*>(loop));
                    return G_SOURCE_REMOVE;
                }, self->loop_, nullptr);
                g_source_attach(late, self->context_);
                g_source_unref(late);
                nice_agent_close_async(self->agent_, [](GObject*, GAsyncResult*, gpointer loop) {
                    g_main_loop_quit(static_cast<GMainLoop*>(loop));
                }, self->loop_);
                return G_SOURCE_REMOVE;
            },
            this);
        thread_.join();
    }
    if (agent_) g_object_unref(agent_);
    if (loop_) g_main_loop_unref(loop_);
    if (context_) g_main_context_unref(context_);
    if (fd_ >= 0) close(fd_);
}

bool IceBridge::start(std::string* why) {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        *why = "cannot open the relay's bridge on 127.0.0.1";
        return false;
    }
    port_ = ntohs(a.sin_port);
    context_ = g_main_context_new();
    loop_ = g_main_loop_new(context_, FALSE);
    agent_ = nice_agent_new_full(context_, NICE_COMPATIBILITY_RFC5245, NICE_AGENT_OPTION_NONE);
    if (!agent_) {
        *why = "cannot start ICE";
        return false;
    }
    // The router's port mapping is port_mapping's; ICE asks no router itself.
    g_object_set(agent_, "controlling-mode", controlling_ ? TRUE : FALSE, "upnp", FALSE, "ice-tcp", FALSE, nullptr);
    // The relay's allocation already tells this side its public address; a STUN server
    // on the same address and socket as the relay only confuses libnice's demultiplexing.
    // The two sides learn each other's descriptions a moment apart, and checks sent
    // before the other side's relay lets them in are lost: keep checking for longer.
    g_object_set(agent_, "stun-max-retransmissions", guint(7), nullptr);
    std::string server = ip_text(relay_.ip);
    // IPv4 only: the meeting server, the relay and ENet here speak nothing else.
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) == 0) {
        for (ifaddrs* i = list; i; i = i->ifa_next) {
            if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || (i->ifa_flags & IFF_LOOPBACK)) continue;
            NiceAddress address;
            nice_address_init(&address);
            nice_address_set_from_sockaddr(&address, i->ifa_addr);
            nice_agent_add_local_address(agent_, &address);
        }
        freeifaddrs(list);
    }
    stream_ = nice_agent_add_stream(agent_, 1);
    // Descriptions name their streams, and libnice knows only the media names.
    nice_agent_set_stream_name(agent_, stream_, "application");
    nice_agent_set_relay_info(agent_, stream_, 1, server.c_str(), relay_.port, relay_.user.c_str(),
                              relay_.password.c_str(), NICE_RELAY_TYPE_TURN_UDP);
    g_signal_connect(agent_, "candidate-gathering-done", G_CALLBACK(&IceBridge::on_gathered), this);
    g_signal_connect(agent_, "component-state-changed", G_CALLBACK(&IceBridge::on_state), this);
    nice_agent_attach_recv(agent_, stream_, 1, context_, &IceBridge::on_receive, this);
    GSource* source = g_unix_fd_source_new(fd_, G_IO_IN);
    GUnixFDSourceFunc from_enet = [](int fd, GIOCondition c, void* self) {
        return gboolean(IceBridge::on_enet(fd, unsigned(c), self));
    };
    g_source_set_callback(source, G_SOURCE_FUNC(from_enet), this, nullptr);
    g_source_attach(source, context_);
    g_source_unref(source);
    if (!nice_agent_gather_candidates(agent_, stream_)) {
        *why = "ICE found no address to use";
        return false;
    }
    thread_ = std::thread([this] {
        g_main_context_push_thread_default(context_);
        g_main_loop_run(loop_);
        g_main_context_pop_thread_default(context_);
    });
    return true;
}

void IceBridge::on_gathered(NiceAgent* agent, unsigned, void* p) {
    auto* self = static_cast<IceBridge*>(p);
    gchar* sdp = nice_agent_generate_local_sdp(agent);
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->local_ = sdp ? sdp : "";
    g_free(sdp);
}

void IceBridge::on_state(NiceAgent* agent, unsigned stream, unsigned component, unsigned state, void* p) {
    auto* self = static_cast<IceBridge*>(p);
    // Connected: a pair is chosen and carries data. Ready comes only once every better
    // pair has given up, which can take many seconds more.
    if ((state == NICE_COMPONENT_STATE_CONNECTED || state == NICE_COMPONENT_STATE_READY) && !self->ready_) {
        NiceCandidate *local = nullptr, *remote = nullptr;
        if (nice_agent_get_selected_pair(agent, stream, component, &local, &remote)) {
            self->relayed_ = (local && local->type == NICE_CANDIDATE_TYPE_RELAYED) ||
                             (remote && remote->type == NICE_CANDIDATE_TYPE_RELAYED);
        }
        self->ready_ = true;
    } else if (state == NICE_COMPONENT_STATE_FAILED) {
        self->failed_ = true;
    }
}

void IceBridge::on_receive(NiceAgent*, unsigned, unsigned, unsigned len, char* buf, void* p) {
    auto* self = static_cast<IceBridge*>(p);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(self->game_port_);
    sendto(self->fd_, buf, len, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

int IceBridge::on_enet(int fd, unsigned, void* p) {
    auto* self = static_cast<IceBridge*>(p);
    char buf[4096];
    for (;;) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n = recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0) break;
        // Only ENet's own socket on this machine feeds the bridge.
        if (from.sin_addr.s_addr != htonl(INADDR_LOOPBACK) || ntohs(from.sin_port) != self->game_port_) continue;
        if (self->ready_) nice_agent_send(self->agent_, self->stream_, 1, guint(n), buf);
    }
    return G_SOURCE_CONTINUE;
}

std::string IceBridge::local_description() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return local_;
}

void IceBridge::set_remote_description(const std::string& sdp) {
    if (remote_set_ || !agent_) return;
    remote_set_ = true;
    // The other side's addresses on its own network are of no use here (the bridge
    // starts only when the two are on different networks), and a relay asked to send
    // to an address it has no route to may drop the whole allocation.
    std::string kept;
    for (size_t at = 0; at < sdp.size();) {
        size_t end = sdp.find('\n', at);
        end = end == std::string::npos ? sdp.size() : end + 1;
        std::string line = sdp.substr(at, end - at);
        if (!(line.rfind("a=candidate:", 0) == 0 && line.find(" typ host") != std::string::npos)) kept += line;
        at = end;
    }
    auto* call = new RemoteCall{agent_, kept};
    g_main_context_invoke_full(
        context_, G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
            auto* c = static_cast<RemoteCall*>(data);
            nice_agent_parse_remote_sdp(c->agent, c->sdp.c_str());
            return G_SOURCE_REMOVE;
        },
        call, [](gpointer data) { delete static_cast<RemoteCall*>(data); });
}

#else

// Built without libnice: no relay, said in one line when one is asked for.
IceBridge::IceBridge(bool controlling, const IceRelay& relay, uint16_t game_port)
    : controlling_(controlling), relay_(relay), game_port_(game_port) {}

IceBridge::~IceBridge() = default;

bool IceBridge::start(std::string* why) {
    *why = "this build of the game has no relay (it was built without libnice)";
    return false;
}

std::string IceBridge::local_description() const { return ""; }

void IceBridge::set_remote_description(const std::string&) {}

#endif
