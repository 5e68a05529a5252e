#include "support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
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

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string WriteOutput(const std::string& name, const std::string& text) {
    static std::atomic<int> writes{0};
    std::string path = OutputPath(name);
    std::string part = path + ".part-" + std::to_string(getpid()) + "-" + std::to_string(writes++);
    { std::ofstream(part) << text; }
    // Over a file already there on Windows too, where the C library's rename refuses.
    std::error_code failed;
    std::filesystem::rename(part, path, failed);
    if (failed) std::filesystem::remove(part, failed);
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
