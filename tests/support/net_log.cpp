#include "net_log.h"

#include <fstream>
#include <sstream>

namespace test_support {

long NetLog::Number(const std::string& key) const {
    auto it = summary.find(key);
    if (it == summary.end()) return -1;
    try {
        return std::stol(it->second);
    } catch (const std::exception&) {
        return -1;
    }
}

double NetLog::PerSecond(const std::string& key) const {
    auto value = summary.find(key), seconds = summary.find("seconds");
    if (value == summary.end() || seconds == summary.end()) return -1;
    double t = std::stod(seconds->second);
    return t > 0 ? std::stod(value->second) / t : -1;
}

std::pair<long, long> NetLog::LongestStall() const {
    std::map<long, long> at;
    for (const NetStall& s : stalls) {
        if (s.tick > 120) ++at[s.frame];
    }
    std::pair<long, long> longest{0, 0};
    for (const auto& [frame, n] : at) {
        if (n > longest.second) longest = {frame, n};
    }
    return longest;
}

NetLog ReadNetLog(const std::string& path) {
    NetLog log;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        if (kind == "confirmed") {
            long f = 0;
            std::string h;
            if (words >> f >> h) log.hashes[f] = h;
        } else if (kind == "stall") {
            NetStall s;
            if (words >> s.tick >> s.frame) log.stalls.push_back(s);
        } else if (kind == "path") {
            std::string ms;
            words >> log.path >> ms;
            if (ms.rfind("connect_ms=", 0) == 0) log.connect_ms = std::stol(ms.substr(11));
        } else if (kind == "summary") {
            for (std::string field; words >> field;) {
                size_t eq = field.find('=');
                if (eq != std::string::npos) log.summary[field.substr(0, eq)] = field.substr(eq + 1);
            }
        }
    }
    return log;
}

long FramesConfirmedAlike(const NetLog& a, const NetLog& b, long* split) {
    if (split) *split = 0;
    long alike = 0;
    for (const auto& [frame, hash] : a.hashes) {
        auto other = b.hashes.find(frame);
        if (other == b.hashes.end()) continue;
        if (other->second != hash) {
            if (split) *split = frame;
            return alike;
        }
        ++alike;
    }
    return alike;
}

std::string SummaryLine(const NetLog& log) {
    std::string line;
    for (const auto& [k, v] : log.summary) line += (line.empty() ? "" : " ") + k + "=" + v;
    return line;
}

}  // namespace test_support
