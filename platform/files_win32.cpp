#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <cerrno>
#include <string>

#include "platform/files.h"

namespace {

std::wstring wide(const std::string& text) {
    int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (n <= 0) return L"";
    std::wstring out(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(), n);
    out.resize(size_t(n - 1));
    return out;
}

std::string narrow(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return "";
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.resize(size_t(n - 1));
    return out;
}

// errno for what Windows said went wrong.
void set_errno() {
    switch (GetLastError()) {
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: errno = EEXIST; break;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: errno = ENOENT; break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: errno = EACCES; break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: errno = ENOSPC; break;
        default: errno = EIO;
    }
}

HANDLE handle(HeldFile file) { return reinterpret_cast<HANDLE>(intptr_t(file)); }

// The whole file locked: another program's lock on it fails at once.
bool lock_whole(HANDLE h) {
    OVERLAPPED at{};
    return LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &at) != 0;
}

// Files are shared for reading and for being renamed or removed, as on Linux; the lock
// says who holds them.
constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::string known_folder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::string out;
    if (SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path) == S_OK) out = narrow(path);
    CoTaskMemFree(path);
    for (char& c : out) {
        if (c == '\\') c = '/';
    }
    return out;
}

}  // namespace

HeldFile FileCreateHeld(const std::string& path, bool exclusive) {
    HANDLE h = CreateFileW(wide(path).c_str(), GENERIC_WRITE, kShare, nullptr, exclusive ? CREATE_NEW : CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        set_errno();
        return NO_FILE;
    }
    lock_whole(h);
    return HeldFile(reinterpret_cast<intptr_t>(h));
}

HeldFile FileOpenIfFree(const std::string& path) {
    HANDLE h = CreateFileW(wide(path).c_str(), GENERIC_READ, kShare, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        set_errno();
        return NO_FILE;
    }
    if (!lock_whole(h)) {
        CloseHandle(h);
        errno = EACCES;
        return NO_FILE;
    }
    return HeldFile(reinterpret_cast<intptr_t>(h));
}

bool FileWriteAll(HeldFile file, const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    for (size_t done = 0; done < size;) {
        DWORD chunk = DWORD(size - done > (1u << 30) ? (1u << 30) : size - done), wrote = 0;
        if (!WriteFile(handle(file), bytes + done, chunk, &wrote, nullptr) || wrote == 0) {
            set_errno();
            return false;
        }
        done += wrote;
    }
    return true;
}

bool FileSyncToDisk(HeldFile file) {
    if (FlushFileBuffers(handle(file))) return true;
    set_errno();
    return false;
}

bool FileClose(HeldFile file) {
    if (CloseHandle(handle(file))) return true;
    set_errno();
    return false;
}

// Written through: the new name is on the disk when this returns.
bool FileMoveOver(const std::string& from, const std::string& to) {
    if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    set_errno();
    return false;
}

void FolderSyncToDisk(const std::string&) {}

bool FolderMake(const std::string& dir) {
    if (dir.empty()) return true;
    DWORD attributes = GetFileAttributesW(wide(dir).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!folder) errno = ENOTDIR;
        return folder;
    }
    size_t slash = dir.find_last_of("/\\");
    // Not above a drive's root ("C:").
    if (slash != std::string::npos && slash > 0 && dir[slash - 1] != ':' && !FolderMake(dir.substr(0, slash))) {
        return false;
    }
    if (CreateDirectoryW(wide(dir).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) return true;
    set_errno();
    return false;
}

// Links on Windows are the system's business: a path is taken as it is.
std::string FileThroughLinks(const std::string& path) { return path; }

long ProcessNumber() { return long(GetCurrentProcessId()); }

std::string UserFolderPath(UserFolder which) {
    std::string base;
    switch (which) {
        case UserFolder::settings: base = known_folder(FOLDERID_RoamingAppData); break;
        case UserFolder::games:
            base = known_folder(FOLDERID_SavedGames);
            if (base.empty()) base = known_folder(FOLDERID_LocalAppData);
            break;
        case UserFolder::state: base = known_folder(FOLDERID_LocalAppData); break;
    }
    return base.empty() ? "" : base + "/RC Whirlbat";
}
