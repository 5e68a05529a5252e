#include "net_world.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <thread>

#include "support.h"

namespace test_support {

namespace {

const char* kIp = "/usr/sbin/ip";

std::string quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace

NetWorld::NetWorld() {
    static int worlds = 0;
    prefix_ = "wb" + std::to_string(getpid()) + "x" + std::to_string(worlds++) + "-";
    if (geteuid() != 0) fail("network namespaces need root (CI runs as root); this test runs as uid " +
                             std::to_string(geteuid()));
    else if (access(kIp, X_OK) != 0) fail("no " + std::string(kIp) + ": install iproute2 (tools/install-deps.sh)");
    else if (access("/usr/sbin/nft", X_OK) != 0) fail("no /usr/sbin/nft: install nftables (tools/install-deps.sh)");
}

NetWorld::~NetWorld() {
    for (pid_t pid : std::vector<pid_t>(started_)) stop(pid);
    for (auto it = spaces_.rbegin(); it != spaces_.rend(); ++it)
        std::system(("/usr/sbin/ip netns del " + quoted(*it) + " 2>/dev/null").c_str());
}

bool NetWorld::fail(const std::string& why) {
    if (why_.empty()) why_ = why;
    return false;
}

bool NetWorld::run(const std::string& in, const std::string& command) {
    if (!ok()) return false;
    std::string line = std::string(kIp) + " netns exec " + quoted(full(in)) + " sh -c " + quoted(command) + " 2>&1";
    FILE* p = popen(line.c_str(), "r");
    std::string out;
    char buf[512];
    while (p && fgets(buf, sizeof buf, p)) out += buf;
    int status = p ? pclose(p) : -1;
    if (status != 0) return fail("in namespace " + in + ": '" + command + "' failed: " + out);
    return true;
}

bool NetWorld::space(const std::string& name) {
    if (!ok()) return false;
    std::string out;
    if (std::system((std::string(kIp) + " netns add " + quoted(full(name)) + " 2>/dev/null").c_str()) != 0)
        return fail("cannot create the network namespace " + full(name) + " (ip netns add needs root and a kernel with namespaces)");
    spaces_.push_back(full(name));
    return run(name, "ip link set lo up");
}

bool NetWorld::wire(const std::string& a, const std::string& a_if, const std::string& a_cidr, const std::string& b,
                    const std::string& b_if, const std::string& b_cidr) {
    if (!ok()) return false;
    // Made in a, its other end moved into b.
    if (!run(a, "ip link add " + a_if + " type veth peer name " + b_if + " netns " + full(b))) return false;
    if (!a_cidr.empty() && !run(a, "ip addr add " + a_cidr + " dev " + a_if)) return false;
    if (!b_cidr.empty() && !run(b, "ip addr add " + b_cidr + " dev " + b_if)) return false;
    return run(a, "ip link set " + a_if + " up") && run(b, "ip link set " + b_if + " up");
}

bool NetWorld::bridge(const std::string& in, const std::string& name, const std::string& cidr) {
    return run(in, "ip link add " + name + " type bridge") && (cidr.empty() || run(in, "ip addr add " + cidr + " dev " + name)) &&
           run(in, "ip link set " + name + " up");
}

bool NetWorld::join_bridge(const std::string& in, const std::string& bridge, const std::string& iface) {
    return run(in, "ip link set " + iface + " master " + bridge);
}

bool NetWorld::router(const std::string& in, const std::string& wan_if, bool symmetric) {
    // Nothing from outside gets in unless it answers what went out or comes through a
    // port the router forwards (UPnP, NAT-PMP); what is turned away
    // is dropped before its connection is kept, so it never takes the port a later
    // mapping would use (as in a home router).
    return run(in, "sysctl -q -w net.ipv4.ip_forward=1") && run(in, "nft add table ip nat") &&
           run(in, "nft add table ip gate") &&
           run(in, "nft 'add chain ip gate outside { type filter hook prerouting priority 0 ; }'") &&
           run(in, "nft add rule ip gate outside ct status dnat accept") &&
           run(in, "nft add rule ip gate outside iifname " + wan_if + " ct state new drop") &&
           run(in, "nft 'add chain ip nat post { type nat hook postrouting priority 100 ; }'") &&
           run(in, "nft add rule ip nat post oifname " + wan_if + " masquerade" + (symmetric ? " fully-random" : "")) &&
           run(in, "nft add table ip filter") &&
           run(in, "nft 'add chain ip filter through { type filter hook forward priority 0 ; policy drop ; }'") &&
           run(in, "nft add rule ip filter through ct state established,related accept") &&
           run(in, "nft add rule ip filter through ct status dnat accept") &&
           run(in, "nft add rule ip filter through iifname != " + wan_if + " accept");
}

pid_t NetWorld::start(const std::string& in, const std::vector<std::string>& argv, const std::string& err_file) {
    if (!ok()) return -1;
    std::fflush(nullptr);  // what this process has yet to write is not the child's to write too
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(WHIRLBAT_SOURCE_DIR) != 0) _exit(127);
        if (!freopen(err_file.c_str(), "w", stderr) || !freopen((err_file + ".out").c_str(), "w", stdout)) _exit(127);
        std::vector<std::string> all = {kIp, "netns", "exec", full(in)};
        all.insert(all.end(), argv.begin(), argv.end());
        std::vector<char*> args;
        for (std::string& a : all) args.push_back(a.data());
        args.push_back(nullptr);
        execv(kIp, args.data());
        _exit(127);
    }
    if (pid > 0) started_.push_back(pid);
    return pid;
}

int NetWorld::stop(pid_t pid) {
    auto it = std::find(started_.begin(), started_.end(), pid);
    if (it == started_.end()) return -1;
    started_.erase(it);
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    kill(pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return 128 + SIGKILL;
}

int NetWorld::wait(pid_t pid, int timeout_ms) {
    for (int waited = 0; waited < timeout_ms; waited += 10) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            started_.erase(std::find(started_.begin(), started_.end(), pid));
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return stop(pid);
}

int NetWorld::socket_in(const std::string& in, int type, int protocol) {
    if (!ok()) return -1;
    int fd = -1;
    std::thread([&] {
        int ns = open(("/var/run/netns/" + full(in)).c_str(), O_RDONLY | O_CLOEXEC);
        if (ns >= 0 && setns(ns, CLONE_NEWNET) == 0) fd = socket(AF_INET, type | SOCK_CLOEXEC, protocol);
        if (ns >= 0) close(ns);
    }).join();
    return fd;
}

int NetWorld::call(const std::string& in, const std::vector<std::string>& argv, std::string* err, std::string* out) {
    static int calls = 0;
    std::string base = OutputPath(prefix_ + "call" + std::to_string(calls++));
    std::fflush(nullptr);  // what this process has yet to write is not the child's to write too
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(WHIRLBAT_SOURCE_DIR) != 0) _exit(127);
        if (!freopen((base + ".err").c_str(), "w", stderr) || !freopen((base + ".out").c_str(), "w", stdout)) _exit(127);
        std::vector<std::string> all = {kIp, "netns", "exec", full(in)};
        all.insert(all.end(), argv.begin(), argv.end());
        std::vector<char*> args;
        for (std::string& a : all) args.push_back(a.data());
        args.push_back(nullptr);
        execv(kIp, args.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (err) *err = ReadWhole(base + ".err");
    if (out) *out = ReadWhole(base + ".out");
    std::remove((base + ".err").c_str());
    std::remove((base + ".out").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace test_support
