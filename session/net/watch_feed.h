#pragma once
// A watcher's feed from the host over the network: the link (and how it was reached)
// that the wait for the other machine opened as a watcher's, the frames the host sent,
// in order, and the hashes among them. A watcher that drops connects afresh and asks
// from the frame after the last it has, as a guest comes back.
#include <map>
#include <memory>

#include "session/net/online_watch.h"
#include "session/net/online_wait.h"

class NetWatchFeed : public WatchFeed {
public:
    explicit NetWatchFeed(OnlineStart start);
    ~NetWatchFeed() override;

    void service(int until_ms) override;
    bool started() const override;
    int seed() const override;
    std::string pilots() const override;
    long frames() const override { return long(frames_.size()); }
    const std::pair<NetInput, NetInput>& frame(long index) const override { return frames_[size_t(index)]; }
    std::optional<uint64_t> hash(long frame) const override;
    bool over() const override;
    std::string message() const override;
    void leave() override;

private:
    void take(const Packet& p);

    OnlineStart start_;
    std::vector<std::pair<NetInput, NetInput>> frames_;
    std::map<long, uint64_t> hashes_;
    bool left_ = false;
};
