#pragma once
// Files the harness writes (traces, screenshots): to a temporary file beside the target,
// renamed over it only once complete, so a failed write never leaves a cut file where a
// good one was. A target that is not a regular file (a device, a pipe) is written
// directly. Every failure comes back as a message naming the file and the reason.
#include <cstdio>
#include <string>

#include "platform/pixmap.h"

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile() { abandon(); }

    bool open(const std::string& path, std::string* error);
    bool is_open() const { return file_ != nullptr; }
    // Writes and flushes; false (with the reason) once a write failed.
    bool write(const std::string& text, std::string* error);
    // Closes the file and puts it in place.
    bool commit(std::string* error);
    // Closes and removes the temporary file; the target is left as it was.
    void abandon();

private:
    std::string path_, temp_;
    FILE* file_ = nullptr;
};

// Saves a picture as PNG through a temporary file.
bool save_png_in_place(const std::string& path, const Pixmap& pixmap, std::string* error);
