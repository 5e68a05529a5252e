#pragma once
// What a copy of the program playing online writes with --net-log, read back: the state
// hash of every frame it confirmed, the ticks that could not move on (stalls), the path
// it connected by and how long that took, and its closing summary. Tests compare two
// machines' logs; benchmarks print the figures.
#include <map>
#include <string>
#include <vector>

namespace test_support {

struct NetStall {
    long tick = 0, frame = 0;  // the tick of the frame clock, and the frame it could not move on from
};

struct NetLog {
    std::map<long, std::string> hashes;  // confirmed frame -> state hash
    std::vector<NetStall> stalls;
    std::string path;                    // "LAN", "punched", "mapped", "relayed" ...; empty if never said
    long connect_ms = -1;
    std::map<std::string, std::string> summary;

    // A number of the summary, -1 if the summary has none by that name.
    long Number(const std::string& key) const;
    // A number of the summary divided by its "seconds", -1 if either is missing.
    double PerSecond(const std::string& key) const;
    // The frame most ticks stalled at after the first two seconds (while the clocks
    // settle), and how many: a network that dropped. 0 and 0 if none.
    std::pair<long, long> LongestStall() const;
};

// An empty log if the file cannot be read.
NetLog ReadNetLog(const std::string& path);

// Frames both logs confirmed whose hashes agree. Where one disagrees the count stops and
// *split (if given) is that frame; else *split is 0.
long FramesConfirmedAlike(const NetLog& a, const NetLog& b, long* split = nullptr);

// The summary as one line of "name=value" words.
std::string SummaryLine(const NetLog& log);

}  // namespace test_support
