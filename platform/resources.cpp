#include "platform/resources.h"

#include <SDL2/SDL.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>

namespace {

struct Resource {
    const uint8_t* data;
    size_t size;
};

struct ResourceState {
    std::map<std::string, Resource> incbin;
    std::string data_override;
    std::vector<std::string> data_folders;  // empty until first asked for
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

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string normal(const std::string& path) { return std::filesystem::path(path).lexically_normal().string(); }

// The game names its files with backslashes, as on the system it was made for, and
// keeps them in its folder "data".
std::string file_path(const std::string& rest) {
    std::string path = rest;
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    std::string first = path.substr(0, 5);
    for (char& c : first) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    if (first != "data/" || path.size() == 5) return path;
    std::string name = path.substr(5);
    const std::vector<std::string>& folders = DataFolders();
    for (const std::string& folder : folders) {
        if (exists(folder + "/" + name)) return folder + "/" + name;
    }
    return folders.front() + "/" + name;
}

}  // namespace

bool SetDataFolder(const std::string& dir) {
    struct stat st;
    if (!dir.empty() && (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) return false;
    state().data_override = dir;
    state().data_folders.clear();
    return true;
}

const std::vector<std::string>& DataFolders() {
    std::vector<std::string>& folders = state().data_folders;
    if (!folders.empty()) return folders;
    if (!state().data_override.empty()) return folders = {state().data_override};
    std::vector<std::string> all;
    if (char* base = SDL_GetBasePath()) {
        std::string dir = base;
        SDL_free(base);
        all.push_back(normal(dir + "data"));
        all.push_back(normal(dir + WHIRLBAT_DATA_FROM_BIN));
    }
    all.push_back(WHIRLBAT_DATA_INSTALLED);
    all.push_back("data");
    for (const std::string& f : all) {
        if (std::find(folders.begin(), folders.end(), f) == folders.end()) folders.push_back(f);
    }
    return folders;
}

std::string UrlPath(const std::string& url) {
    std::string proto, rest;
    SplitUrl(url, proto, rest);
    return proto.empty() ? file_path(rest) : "";
}

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
