#pragma once
// The last way between two machines whose routers let no punch through (both give
// every destination a new port): ICE through libnice, with a TURN relay (coturn) among
// its candidates, bridged under ENet so that ENet keeps the game's reliability and
// ordering. ENet sends to a port of the bridge on 127.0.0.1; the bridge passes every
// datagram into the ICE stream, and what comes out of it back to ENet's own port.
//
// The two sides' ICE descriptions travel through the meeting server (lobby_client's
// signals). libnice runs on a thread of its own with its own GLib main context.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

struct _NiceAgent;
struct _GMainContext;
struct _GMainLoop;

// A TURN server and the long-term credentials it knows this game by.
struct IceRelay {
    uint32_t ip = 0;  // IPv4, host byte order
    uint16_t port = 3478;
    std::string user, password;
};
// USER:PASSWORD@HOST[:PORT] (port 3478 unless given); false with one line otherwise.
bool parse_ice_relay(const std::string& text, IceRelay* out, std::string* why);

class IceBridge {
public:
    // `controlling`: the side that picks the pair (the guest). `game_port`: ENet's own
    // UDP port on this machine, where what comes from the other side is delivered.
    IceBridge(bool controlling, const IceRelay& relay, uint16_t game_port);
    ~IceBridge();
    IceBridge(const IceBridge&) = delete;
    IceBridge& operator=(const IceBridge&) = delete;

    // Opens the bridge's port and starts gathering candidates; false with one line.
    bool start(std::string* why);
    // This side's ICE description once its candidates are gathered ("" before).
    std::string local_description() const;
    // The other side's description (taken once).
    void set_remote_description(const std::string& sdp);
    // ICE found a working pair; whether it goes through the relay.
    bool ready() const { return ready_; }
    bool failed() const { return failed_; }
    bool relayed() const { return relayed_; }
    // The bridge's port on 127.0.0.1, for ENet to send to.
    uint16_t port() const { return port_; }

private:
    static void on_gathered(_NiceAgent*, unsigned stream, void* self);
    static void on_state(_NiceAgent*, unsigned stream, unsigned component, unsigned state, void* self);
    static void on_receive(_NiceAgent*, unsigned stream, unsigned component, unsigned len, char* buf, void* self);
    static int on_enet(int fd, unsigned condition, void* self);

    bool controlling_;
    IceRelay relay_;
    uint16_t game_port_, port_ = 0;
    int fd_ = -1;
    unsigned stream_ = 0;
    _GMainContext* context_ = nullptr;
    _GMainLoop* loop_ = nullptr;
    _NiceAgent* agent_ = nullptr;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::string local_;
    bool remote_set_ = false;
    std::atomic<bool> ready_{false}, failed_{false}, relayed_{false};
};
