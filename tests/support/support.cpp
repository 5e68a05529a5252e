#include <atomic>
#include "support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "platform/draw.h"
#include "platform/options.h"
#include "platform/window.h"
#include "platform/engine.h"

namespace test_support {

void OpenHeadlessGraphics() {
    if (GraphicsWidth() == 640) return;
    engine_options.headless = true;
    ASSERT_TRUE(Graphics(640, 480, 32, 60)) << GraphicsError();
}

void ReopenHeadlessGraphics() {
    engine_options.headless = true;
    ASSERT_TRUE(Graphics(640, 480, 32, 60)) << GraphicsError();
}

#if defined(__SANITIZE_ADDRESS__)
DriverAllocations::DriverAllocations() { __lsan_disable(); }
DriverAllocations::~DriverAllocations() { __lsan_enable(); }
#else
DriverAllocations::DriverAllocations() = default;
DriverAllocations::~DriverAllocations() = default;
#endif

std::string SourcePath(const std::string& relative) { return std::string(WHIRLBAT_SOURCE_DIR) + "/" + relative; }

std::string OutputPath(const std::string& name) { return std::string(WHIRLBAT_TEST_OUTPUT) + "/" + name; }

std::string WriteOutput(const std::string& name, const std::string& text) {
    static std::atomic<int> writes{0};
    std::string path = OutputPath(name);
    std::string part = path + ".part-" + std::to_string(getpid()) + "-" + std::to_string(writes++);
    { std::ofstream(part) << text; }
    if (std::rename(part.c_str(), path.c_str()) != 0) std::remove(part.c_str());
    return path;
}

bool LongRuns() {
    const char* v = std::getenv("WHIRLBAT_LONG_RUNS");
    return v && std::string(v) == "1";
}

Rgb PixelAt(const Pixmap& rgb, int x, int y) {
    const uint8_t* p = rgb.at(x, y);
    return Rgb{p[0], p[1], p[2]};
}

int RunGame(const std::vector<std::string>& args, std::string* err, const std::vector<std::string>& env,
            const std::string& folder) {
    return RunBinary(WHIRLBAT_BINARY, args, err, env, folder);
}

int RunBinary(const std::string& program, const std::vector<std::string>& args, std::string* err,
              const std::vector<std::string>& env, const std::string& folder) {
    // Runs may go on side by side (online play's two machines): each has its own file.
    static std::atomic<int> runs{0};
    std::string err_file = OutputPath("stderr-" + std::to_string(getpid()) + "-" + std::to_string(runs++) + ".txt");
    std::fflush(nullptr);  // what this process has yet to write is not the child's to write too
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(folder.empty() ? WHIRLBAT_SOURCE_DIR : folder.c_str()) != 0) _exit(127);
        if (!freopen(err_file.c_str(), "w", stderr)) _exit(127);
        for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> argv;
        std::string binary = program;
        argv.push_back(binary.data());
        std::vector<std::string> copy = args;
        for (std::string& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (err) {
        std::ifstream f(err_file);
        err->assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    std::remove(err_file.c_str());
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}

namespace {

struct Parser {
    const std::string& s;
    size_t i = 0;

    void ws() {
        while (i < s.size() && isspace(static_cast<unsigned char>(s[i]))) ++i;
    }
    char peek() {
        ws();
        if (i >= s.size()) throw std::runtime_error("unexpected end of JSON");
        return s[i];
    }
    void expect(char c) {
        if (peek() != c) throw std::runtime_error(std::string("expected ") + c + " in JSON");
        ++i;
    }
    std::string str() {
        expect('"');
        std::string out;
        while (i < s.size() && s[i] != '"') {
            if (s[i] == '\\' && i + 1 < s.size()) ++i;
            out += s[i++];
        }
        ++i;
        return out;
    }
    Json value() {
        Json v;
        char c = peek();
        if (c == '{') {
            v.type = Json::Object;
            ++i;
            if (peek() == '}') return ++i, v;
            while (true) {
                std::string key = str();
                expect(':');
                v.fields[key] = value();
                if (peek() == ',') {
                    ++i;
                    continue;
                }
                expect('}');
                return v;
            }
        }
        if (c == '[') {
            v.type = Json::Array;
            ++i;
            if (peek() == ']') return ++i, v;
            while (true) {
                v.items.push_back(value());
                if (peek() == ',') {
                    ++i;
                    continue;
                }
                expect(']');
                return v;
            }
        }
        if (c == '"') {
            v.type = Json::String;
            v.text = str();
            return v;
        }
        if (s.compare(i, 4, "null") == 0) return i += 4, v;
        size_t used = 0;
        v.type = Json::Number;
        v.number = std::stod(s.substr(i), &used);
        i += used;
        return v;
    }
};

}  // namespace

const Json& Json::operator[](const std::string& key) const {
    static const Json none;
    auto it = fields.find(key);
    return it == fields.end() ? none : it->second;
}

const Json& Json::operator[](size_t index) const {
    static const Json none;
    return index < items.size() ? items[index] : none;
}

Json ParseJson(const std::string& text) {
    Parser p{text};
    return p.value();
}

std::vector<Json> ReadTrace(const std::string& path) {
    std::vector<Json> out;
    std::ifstream f(path);
    for (std::string line; std::getline(f, line);) {
        if (!line.empty()) out.push_back(ParseJson(line));
    }
    return out;
}

}  // namespace test_support
