// Replays the fuzz targets' seed corpus and regression inputs through the
// same entry points, built with the normal compiler: an entry aborts when an
// operation breaks a promise, and the sanitizer builds catch bad accesses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/entries.hpp"

namespace {

namespace fs = std::filesystem;

fs::path fuzz_dir() {
    const char* source_dir = std::getenv("INTRO_SOURCE_DIR");
    return fs::path(source_dir != nullptr ? source_dir : SOURCE_DIR) / "fuzz";
}

std::vector<fs::path> inputs_in(const fs::path& folder) {
    std::vector<fs::path> files;
    if (fs::is_directory(folder)) {
        for (const auto& e : fs::directory_iterator(folder)) {
            if (e.is_regular_file()) files.push_back(e.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

class FuzzReplay : public ::testing::TestWithParam<fuzz::Entry> {};

TEST_P(FuzzReplay, EveryCorpusAndRegressionInputKeepsThePromises) {
    const fuzz::Entry entry = GetParam();
    const std::vector<fs::path> seeds = inputs_in(fuzz_dir() / "corpus" / entry.name);
    ASSERT_FALSE(seeds.empty()) << "no seed corpus in " << (fuzz_dir() / "corpus" / entry.name);
    std::vector<fs::path> all = seeds;
    for (const auto& f : inputs_in(fuzz_dir() / "regressions" / entry.name)) all.push_back(f);
    for (const auto& path : all) {
        SCOPED_TRACE(path.string());
        std::ifstream in(path, std::ios::binary);
        const std::vector<std::uint8_t> data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        EXPECT_EQ(entry.run(data.data(), data.size()), 0);
        // Every prefix too: cut files are what a loader meets most.
        for (std::size_t n = 0; n < data.size(); n += 1 + data.size() / 64) EXPECT_EQ(entry.run(data.data(), n), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Entries, FuzzReplay, ::testing::ValuesIn(fuzz::entries),
                         [](const ::testing::TestParamInfo<fuzz::Entry>& info) { return std::string(info.param.name); });

}  // namespace
