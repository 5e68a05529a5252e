// Every deliberate quirk labelled in the code has its heading in docs/QUIRKS.md, and
// every heading there is labelled somewhere in the code.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>

#include "support.h"

namespace {

TEST(Quirks, LabelsInTheCodeAndHeadingsInTheListAgree) {
    namespace fs = std::filesystem;
    std::set<std::string> labels, headings;
    std::regex label("QUIRK\\(([a-z0-9-]+)\\)");
    for (const char* dir : {"app", "session", "pilots", "present", "sim", "platform"}) {
        for (const auto& entry : fs::recursive_directory_iterator(test_support::SourcePath(dir))) {
            if (!entry.is_regular_file()) continue;
            std::ifstream file(entry.path());
            std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            for (std::sregex_iterator m(text.begin(), text.end(), label), end; m != end; ++m) labels.insert((*m)[1]);
        }
    }
    std::ifstream doc(test_support::SourcePath("docs/QUIRKS.md"));
    for (std::string line; std::getline(doc, line);) {
        if (line.rfind("### ", 0) == 0) headings.insert(line.substr(4));
    }
    EXPECT_GT(labels.size(), 20u);
    EXPECT_EQ(labels, headings);
}

}  // namespace
