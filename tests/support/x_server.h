#pragma once
// An X server of the test's own (Xvfb), its display number chosen by the server itself
// so that servers started side by side never collide; stopped when the object goes.
#include <sys/types.h>

#include <string>

namespace test_support {

class XServer {
public:
    // size: "WIDTHxHEIGHT"; the screen is 24-bit.
    explicit XServer(const std::string& size);
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;
    // ":N", or "" if the server did not start.
    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

}  // namespace test_support
