#pragma once
// Shared test support: a headless window for engine tests, paths, running the game's
// executable, and reading its JSON trace.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/pixmap.h"

namespace test_support {

// Opens the headless 640 x 480 window once per test process.
void OpenHeadlessGraphics();
// Opens it afresh: the frame pacing starts its schedule now.
void ReopenHeadlessGraphics();

// While one stands, the leak checker of a sanitizer build leaves alone what is
// allocated: the OpenGL driver keeps memory for good when a window is opened again.
struct DriverAllocations {
    DriverAllocations();
    ~DriverAllocations();
};

std::string SourcePath(const std::string& relative);
std::string OutputPath(const std::string& name);
// Writes a file of the test output (an input script, a settings file) and returns its path.
// The file appears whole (written beside it, then renamed), so that tests running at the
// same time may write the same script.
std::string WriteOutput(const std::string& name, const std::string& text);
// The whole of a file, its bytes as they are; empty if it cannot be read.
std::string ReadWhole(const std::string& path);

// Scenarios that play in real time play as many frames as their checks need; their long
// versions (label "long": ctest runs them with WHIRLBAT_LONG_RUNS=1) play a minute or more.
bool LongRuns();

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};
Rgb PixelAt(const Pixmap& rgb, int x, int y);

// Runs rc-whirlbat with the arguments (from the repository root unless a folder is
// given); returns its exit code and what it wrote on stderr. Linux builds only
// (run_posix.cpp): the Windows build's suites run no other program.
int RunGame(const std::vector<std::string>& args, std::string* err = nullptr,
            const std::vector<std::string>& env = {}, const std::string& folder = "");
// The same with another build of the program.
int RunBinary(const std::string& binary, const std::vector<std::string>& args, std::string* err = nullptr,
              const std::vector<std::string>& env = {}, const std::string& folder = "");

// A small JSON value, enough for the trace.
struct Json {
    enum Type { Null, Number, String, Array, Object } type = Null;
    double number = 0;
    std::string text;
    std::vector<Json> items;
    std::map<std::string, Json> fields;

    const Json& operator[](const std::string& key) const;
    const Json& operator[](size_t index) const;
    double num() const { return number; }
    int i() const { return int(number); }
    bool has(const std::string& key) const { return fields.count(key) != 0; }
};
Json ParseJson(const std::string& text);
// Every line of a trace file, parsed.
std::vector<Json> ReadTrace(const std::string& path);

}  // namespace test_support
