// Replays a fuzz target's seed corpus (and the inputs that once found a
// fault) through the target, so that every normal test run repeats them.
#include "tests/fuzz/fuzz_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#ifndef PENDRA_FUZZ_CORPUS
#error "PENDRA_FUZZ_CORPUS names the corpus folder"
#endif

TEST(FuzzCorpus, EveryInputRunsClean) {
    std::vector<std::filesystem::path> inputs;
    for (const auto &entry : std::filesystem::directory_iterator(PENDRA_FUZZ_CORPUS))
        if (entry.is_regular_file())
            inputs.push_back(entry.path());
    std::sort(inputs.begin(), inputs.end());
    ASSERT_FALSE(inputs.empty()) << "no corpus in " << PENDRA_FUZZ_CORPUS;

    LLVMFuzzerInitialize(nullptr, nullptr);
    for (const auto &path : inputs) {
        std::ifstream in(path, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
        const std::string name = path.filename().string();
        pendra::fuzz::currentInputName = name.c_str();
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    pendra::fuzz::currentInputName = nullptr;
}
