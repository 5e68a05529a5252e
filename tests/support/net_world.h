#pragma once
// Networks of the test's own on one machine: network namespaces joined by veth pairs
// and bridges, home routers doing NAT with nftables, and programs started inside them.
// Every name carries the test process's own prefix; everything made is taken down
// (programs stopped, namespaces deleted) when the NetWorld goes, a failed test too.
// Needs root (CI runs as root); what cannot be made is said in why().
#include <sys/types.h>

#include <string>
#include <vector>

namespace test_support {

class NetWorld {
public:
    NetWorld();
    ~NetWorld();
    NetWorld(const NetWorld&) = delete;
    NetWorld& operator=(const NetWorld&) = delete;

    // Everything made so far worked; else why() says what did not.
    bool ok() const { return why_.empty(); }
    const std::string& why() const { return why_; }

    // A namespace (its loopback up), by the test's short name.
    bool space(const std::string& name);
    // A veth pair: `a_if` in namespace a with address a_cidr ("" none), `b_if` in b.
    bool wire(const std::string& a, const std::string& a_if, const std::string& a_cidr, const std::string& b,
              const std::string& b_if, const std::string& b_cidr);
    // A bridge in namespace `in` with an address, and an interface of it joined to it.
    bool bridge(const std::string& in, const std::string& name, const std::string& cidr);
    bool join_bridge(const std::string& in, const std::string& bridge, const std::string& iface);
    // A command inside a namespace (ip, nft, sysctl ...), through the shell.
    bool run(const std::string& in, const std::string& command);
    // A home router: forwards, and hides its LAN behind its WAN address. Cone: a port
    // keeps its mapping whoever it sends to; symmetric: every destination a new port.
    bool router(const std::string& in, const std::string& wan_if, bool symmetric);

    // The full name of a namespace, and the command line prefix to run inside it.
    std::string full(const std::string& name) const { return prefix_ + name; }
    // Starts a program inside a namespace in the background; its stderr to err_file,
    // its stdout beside it (err_file.out).
    pid_t start(const std::string& in, const std::vector<std::string>& argv, const std::string& err_file);
    // Stops one started program (SIGTERM, then SIGKILL after 2 s); its exit status.
    int stop(pid_t pid);
    // Waits for a started program to end by itself, then stops it: its exit status.
    int wait(pid_t pid, int timeout_ms);
    // A socket made inside a namespace (a thread enters it, makes the socket, leaves):
    // it stays there whichever thread uses it. -1 if it cannot be made.
    int socket_in(const std::string& in, int type, int protocol = 0);
    // Runs a program inside a namespace and waits: exit status, stderr and stdout.
    int call(const std::string& in, const std::vector<std::string>& argv, std::string* err, std::string* out = nullptr);

private:
    bool fail(const std::string& why);
    std::string prefix_;
    std::vector<std::string> spaces_;
    std::vector<pid_t> started_;
    std::string why_;
};

}  // namespace test_support
