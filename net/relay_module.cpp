// The relay module: ICE through libnice, with a TURN relay (coturn) among its
// candidates, bridged under ENet so that ENet keeps the game's reliability and ordering.
// ENet sends to a port of the bridge on 127.0.0.1; the bridge passes every datagram
// into the ICE stream, and what comes out of it back to ENet's own port. libnice runs
// on a thread of its own with its own GLib main context.
//
// Built as rc-whirlbat-relay.so and loaded by ice_bridge only when a relay is named,
// so that a game that never uses one never maps libnice and what it brings.
#include "net/relay_module.h"

#include <agent.h>
#include <arpa/inet.h>
#include <glib-unix.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

namespace {

std::string ip_text(uint32_t ip) {
    in_addr a{htonl(ip)};
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

struct RemoteCall {
    NiceAgent* agent;
    std::string sdp;
};

struct Relay {
    uint32_t ip = 0;  // IPv4, host byte order
    uint16_t port = 3478;
    std::string user, password;
};

class Agent {
public:
    Agent(bool controlling, const Relay& relay, uint16_t game_port)
        : controlling_(controlling), relay_(relay), game_port_(game_port) {}
    ~Agent();
    Agent(const Agent&) = delete;
    Agent& operator=(const Agent&) = delete;

    bool start(std::string* why);
    std::string local_description() const;
    void set_remote_description(const std::string& sdp);
    int state() const {
        return (ready_ ? kRelayReady : 0) | (failed_ ? kRelayFailed : 0) | (relayed_ ? kRelayRelayed : 0) |
               (allocated_ ? kRelayAllocated : 0) | (gathered_ ? kRelayGathered : 0);
    }
    uint16_t port() const { return port_; }

private:
    static void on_gathered(NiceAgent*, unsigned stream, void* self);
    static void on_candidate(NiceAgent*, NiceCandidate* candidate, void* self);
    static void on_state(NiceAgent*, unsigned stream, unsigned component, unsigned state, void* self);
    static void on_receive(NiceAgent*, unsigned stream, unsigned component, unsigned len, char* buf, void* self);
    static int on_enet(int fd, unsigned condition, void* self);

    bool controlling_;
    Relay relay_;
    uint16_t game_port_, port_ = 0;
    int fd_ = -1;
    unsigned stream_ = 0;
    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    NiceAgent* agent_ = nullptr;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::string local_;
    bool remote_set_ = false;
    std::atomic<bool> ready_{false}, failed_{false}, relayed_{false}, allocated_{false}, gathered_{false};
};

Agent::~Agent() {
    if (thread_.joinable()) {
        // Give the relay its allocation back before going (within a second at most),
        // rather than leaving it to time out there.
        g_main_context_invoke(
            context_,
            [](gpointer p) -> gboolean {
                auto* self = static_cast<Agent*>(p);
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

bool Agent::start(std::string* why) {
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
    g_signal_connect(agent_, "candidate-gathering-done", G_CALLBACK(&Agent::on_gathered), this);
    g_signal_connect(agent_, "new-candidate-full", G_CALLBACK(&Agent::on_candidate), this);
    g_signal_connect(agent_, "component-state-changed", G_CALLBACK(&Agent::on_state), this);
    nice_agent_attach_recv(agent_, stream_, 1, context_, &Agent::on_receive, this);
    GSource* source = g_unix_fd_source_new(fd_, G_IO_IN);
    GUnixFDSourceFunc from_enet = [](int fd, GIOCondition c, void* self) {
        return gboolean(Agent::on_enet(fd, unsigned(c), self));
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

void Agent::on_gathered(NiceAgent* agent, unsigned, void* p) {
    auto* self = static_cast<Agent*>(p);
    gchar* sdp = nice_agent_generate_local_sdp(agent);
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->local_ = sdp ? sdp : "";
    g_free(sdp);
    self->gathered_ = true;
}

// A relayed candidate of this side's own: the relay took the credentials and allocated.
void Agent::on_candidate(NiceAgent*, NiceCandidate* candidate, void* p) {
    if (candidate && candidate->type == NICE_CANDIDATE_TYPE_RELAYED) static_cast<Agent*>(p)->allocated_ = true;
}

void Agent::on_state(NiceAgent* agent, unsigned stream, unsigned component, unsigned state, void* p) {
    auto* self = static_cast<Agent*>(p);
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

void Agent::on_receive(NiceAgent*, unsigned, unsigned, unsigned len, char* buf, void* p) {
    auto* self = static_cast<Agent*>(p);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(self->game_port_);
    sendto(self->fd_, buf, len, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

int Agent::on_enet(int fd, unsigned, void* p) {
    auto* self = static_cast<Agent*>(p);
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

std::string Agent::local_description() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return local_;
}

void Agent::set_remote_description(const std::string& sdp) {
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

void copy_line(const std::string& text, char* out, size_t size) {
    if (!out || size == 0) return;
    size_t n = std::min(text.size(), size - 1);
    std::memcpy(out, text.data(), n);
    out[n] = 0;
}

RelayAgent* open_agent(int controlling, uint32_t relay_ip, uint16_t relay_port, const char* user,
                       const char* password, uint16_t game_port, char* why, size_t why_size) {
    Relay relay;
    relay.ip = relay_ip;
    relay.port = relay_port;
    relay.user = user ? user : "";
    relay.password = password ? password : "";
    auto* agent = new Agent(controlling != 0, relay, game_port);
    std::string problem;
    if (!agent->start(&problem)) {
        delete agent;
        copy_line(problem, why, why_size);
        return nullptr;
    }
    return reinterpret_cast<RelayAgent*>(agent);
}

Agent* of(RelayAgent* a) { return reinterpret_cast<Agent*>(a); }

const RelayCalls calls = {
    kRelayCallsVersion,
    open_agent,
    [](RelayAgent* a, char* out, size_t size) -> size_t {
        std::string text = of(a)->local_description();
        if (out && size > text.size()) copy_line(text, out, size);
        return text.size();
    },
    [](RelayAgent* a, const char* sdp) { of(a)->set_remote_description(sdp ? sdp : ""); },
    [](RelayAgent* a) { return of(a)->state(); },
    [](RelayAgent* a) { return of(a)->port(); },
    [](RelayAgent* a) { delete of(a); },
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const RelayCalls* whirlbat_relay_calls() { return &calls; }
