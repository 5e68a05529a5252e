#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/files.h"

HeldFile FileCreateHeld(const std::string& path, bool exclusive) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC), 0644);
    if (fd < 0) return NO_FILE;
    ::flock(fd, LOCK_EX | LOCK_NB);
    return fd;
}

HeldFile FileOpenIfFree(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return NO_FILE;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return NO_FILE;
    }
    return fd;
}

bool FileWriteAll(HeldFile file, const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    for (size_t done = 0; done < size;) {
        ssize_t n = ::write(int(file), bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

bool FileSyncToDisk(HeldFile file) { return ::fdatasync(int(file)) == 0 || errno == EINVAL; }

bool FileClose(HeldFile file) { return ::close(int(file)) == 0; }

bool FileMoveOver(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }

void FolderSyncToDisk(const std::string& folder) {
    int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    ::fsync(dir);
    ::close(dir);
}

bool FolderMake(const std::string& dir) {
    if (dir.empty()) return true;
    struct stat st;
    if (stat(dir.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) errno = ENOTDIR;
        return S_ISDIR(st.st_mode);
    }
    size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !FolderMake(dir.substr(0, slash))) return false;
    return mkdir(dir.c_str(), 0755) == 0 || errno == EEXIST;
}

std::string FileThroughLinks(const std::string& path) {
    std::string p = path;
    char buf[4096];
    for (int links = 0; links < 40; ++links) {
        ssize_t n = readlink(p.c_str(), buf, sizeof buf - 1);
        if (n < 0) break;
        std::string next(buf, size_t(n));
        size_t slash = p.find_last_of('/');
        p = next[0] == '/' || slash == std::string::npos ? next : p.substr(0, slash + 1) + next;
    }
    return p;
}

long ProcessNumber() { return long(getpid()); }

std::string UserFolderPath(UserFolder which) {
    const char* home = std::getenv("HOME");
    switch (which) {
        case UserFolder::settings: {
            const char* xdg = std::getenv("XDG_CONFIG_HOME");
            std::string base = xdg && *xdg == '/' ? std::string(xdg) : home ? std::string(home) + "/.config" : ".";
            return base + "/rc-whirlbat";
        }
        case UserFolder::games: {
            // A relative XDG_DATA_HOME is to be ignored.
            const char* data = std::getenv("XDG_DATA_HOME");
            if (data && data[0] == '/') return std::string(data) + "/rc-whirlbat";
            if (home && home[0]) return std::string(home) + "/.local/share/rc-whirlbat";
            return "";
        }
        case UserFolder::state: {
            const char* state = std::getenv("XDG_STATE_HOME");
            std::string base = state && *state ? state : home && *home ? std::string(home) + "/.local/state" : ".";
            return base + "/rc-whirlbat";
        }
    }
    return "";
}
