#include "engine/resources.h"

#include <cstdio>
#include <map>

namespace {

struct Resource {
    const uint8_t* data;
    size_t size;
};

struct ResourceState {
    std::map<std::string, Resource> incbin;
};

ResourceState& state() {
    static ResourceState s;
    return s;
}

}  // namespace

void IncbinAdd(const std::string& name, const void* data, size_t size) {
    state().incbin[name] = Resource{static_cast<const uint8_t*>(data), size};
}

const uint8_t* IncbinFind(const std::string& name, size_t* size) {
    auto it = state().incbin.find(name);
    if (it == state().incbin.end()) {
        *size = 0;
        return nullptr;
    }
    *size = it->second.size;
    return it->second.data;
}

void SplitUrl(const std::string& url, std::string& proto, std::string& rest) {
    size_t sep = url.find("::");
    if (sep == std::string::npos) {
        proto.clear();
        rest = url;
        return;
    }
    proto = url.substr(0, sep);
    for (char& c : proto) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    rest = url.substr(sep + 2);
}

namespace {

// The game names its files with backslashes, as on the system it was made for.
std::string file_path(const std::string& rest) {
    std::string path = rest;
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}

}  // namespace

bool UrlExists(const std::string& url) {
    std::string proto, rest;
    SplitUrl(url, proto, rest);
    size_t size = 0;
    if (proto == "incbin") return IncbinFind(rest, &size) != nullptr;
    if (!proto.empty()) return false;
    FILE* f = std::fopen(file_path(rest).c_str(), "rb");
    if (!f) return false;
    std::fclose(f);
    return true;
}

bool ReadUrl(const std::string& url, std::vector<uint8_t>& out) {
    out.clear();
    std::string proto, rest;
    SplitUrl(url, proto, rest);
    if (proto == "incbin") {
        size_t size = 0;
        const uint8_t* data = IncbinFind(rest, &size);
        if (!data) return false;
        out.assign(data, data + size);
        return true;
    }
    if (!proto.empty()) return false;
    FILE* f = std::fopen(file_path(rest).c_str(), "rb");
    if (!f) return false;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    if (!ok) out.clear();
    return ok;
}
