#include "session/output_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/files.h"

namespace {

std::string reason() { return std::strerror(errno); }

// A temporary name beside the target, or "" to write the target itself.
std::string temp_for(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return "";
    return path + ".partial-" + std::to_string(ProcessNumber());
}

}  // namespace

bool OutputFile::open(const std::string& path, std::string* error) {
    path_ = path;
    temp_ = temp_for(path);
    // The same bytes on every system: no line ends rewritten.
    file_ = std::fopen((temp_.empty() ? path : temp_).c_str(), "wb");
    if (!file_) {
        *error = "cannot write " + path + ": " + reason();
        temp_.clear();
        return false;
    }
    return true;
}

bool OutputFile::write(const std::string& text, std::string* error) {
    if (!file_) return false;
    errno = 0;
    if (std::fputs(text.c_str(), file_) < 0 || std::fflush(file_) != 0) {
        *error = "cannot write " + path_ + ": " + reason();
        abandon();
        return false;
    }
    return true;
}

bool OutputFile::commit(std::string* error) {
    if (!file_) return false;
    FILE* f = file_;
    file_ = nullptr;
    errno = 0;
    bool ok = std::fflush(f) == 0;
    ok = std::fclose(f) == 0 && ok;
    if (ok && !temp_.empty() && !FileMoveOver(temp_, path_)) ok = false;
    if (!ok) {
        *error = "cannot write " + path_ + ": " + reason();
        if (!temp_.empty()) std::remove(temp_.c_str());
    }
    temp_.clear();
    return ok;
}

void OutputFile::abandon() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (!temp_.empty()) std::remove(temp_.c_str());
    temp_.clear();
}

bool save_png_in_place(const std::string& path, const Pixmap& pixmap, std::string* error) {
    std::string temp = temp_for(path);
    errno = 0;
    if (!SavePNG(temp.empty() ? path : temp, pixmap)) {
        *error = "cannot write screenshot " + path + (errno ? ": " + reason() : "");
        if (!temp.empty()) std::remove(temp.c_str());
        return false;
    }
    if (!temp.empty() && !FileMoveOver(temp, path)) {
        *error = "cannot write screenshot " + path + ": " + reason();
        std::remove(temp.c_str());
        return false;
    }
    return true;
}
