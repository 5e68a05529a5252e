#include "net/ice_bridge.h"

#include <cstdlib>
#include <fstream>

#include "net/relay_module.h"
#include "net/sockets.h"

namespace {

// The relay's password when the command line leaves it out: from the file named by the
// environment, or the environment itself. False with one line if neither gives one.
bool password_from_environment(std::string* password, std::string* why) {
    if (const char* file = std::getenv(RELAY_PASSWORD_FILE_VARIABLE); file && *file) {
        std::ifstream in(file);
        if (!in || !std::getline(in, *password) || password->empty()) {
            *why = std::string("the relay's password file ") + file + " cannot be read or is empty";
            return false;
        }
        if (!password->empty() && password->back() == '\r') password->pop_back();
        return true;
    }
    if (const char* text = std::getenv(RELAY_PASSWORD_VARIABLE); text && *text) {
        *password = text;
        return true;
    }
    *why = std::string("a relay given as USER@HOST (--relay, or relay = in the settings) needs the password in the "
                       "file named by ") + RELAY_PASSWORD_FILE_VARIABLE + " or in " + RELAY_PASSWORD_VARIABLE;
    return false;
}

}  // namespace

bool parse_ice_relay(const std::string& text, IceRelay* out, std::string* why) {
    size_t at = text.rfind('@');
    if (at == std::string::npos || at == 0) {
        *why = "--relay needs USER@HOST[:PORT] (the password from the environment) or USER:PASSWORD@HOST[:PORT]";
        return false;
    }
    IceRelay r;
    size_t colon = text.find(':');
    if (colon != std::string::npos && colon < at) {
        if (colon == 0) {
            *why = "--relay needs a user name before the password";
            return false;
        }
        r.user = text.substr(0, colon);
        r.password = text.substr(colon + 1, at - colon - 1);
    } else {
        r.user = text.substr(0, at);
        if (!password_from_environment(&r.password, why)) return false;
    }
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
    if (host.empty()) {
        *why = "--relay needs the relay's HOST after the @";
        return false;
    }
    r.host = host;
    in_addr numeric{};
    if (inet_pton(AF_INET, host.c_str(), &numeric) == 1) r.ip = ntohl(numeric.s_addr);
    *out = r;
    return true;
}

IceBridge::IceBridge(bool controlling, const IceRelay& relay, uint16_t game_port)
    : controlling_(controlling), relay_(relay), game_port_(game_port) {}

IceBridge::~IceBridge() {
    if (agent_) calls_->close(agent_);
}

bool IceBridge::start(std::string* why) {
    calls_ = load_relay_module(why);
    if (!calls_) return false;
    char problem[256] = {};
    agent_ = calls_->open(controlling_ ? 1 : 0, relay_.ip, relay_.port, relay_.user.c_str(), relay_.password.c_str(),
                          game_port_, problem, sizeof problem);
    if (!agent_) *why = problem;
    return agent_ != nullptr;
}

std::string IceBridge::local_description() const {
    if (!agent_) return "";
    // Gathering finishes once, so the text does not change between the two asks.
    std::string text(calls_->local_description(agent_, nullptr, 0), '\0');
    if (!text.empty()) calls_->local_description(agent_, text.data(), text.size() + 1);
    return text;
}

void IceBridge::set_remote_description(const std::string& sdp) {
    if (agent_) calls_->set_remote_description(agent_, sdp.c_str());
}

int IceBridge::state() const { return agent_ ? calls_->state(agent_) : 0; }
bool IceBridge::ready() const { return (state() & kRelayReady) != 0; }
bool IceBridge::failed() const { return (state() & kRelayFailed) != 0; }
bool IceBridge::relayed() const { return (state() & kRelayRelayed) != 0; }
bool IceBridge::allocated() const { return (state() & kRelayAllocated) != 0; }
bool IceBridge::gathered() const { return (state() & kRelayGathered) != 0; }
uint16_t IceBridge::port() const { return agent_ ? calls_->port(agent_) : 0; }
