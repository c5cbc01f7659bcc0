// A short fixed corpus through the fuzz entry: random inputs of every stream kind and the built
// frame streams with mutations. The long libFuzzer run is its own test in the ASan build.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/support/p25_fuzz_input.h"

TEST(FuzzCorpusTest, RandomAndMutatedInputsRunClean) {
    std::mt19937 rng(20261206);
    for (int mode = 0; mode < 9; ++mode) {
        for (int trial = 0; trial < 12; ++trial) {
            std::vector<uint8_t> input(3 + rng() % 3000);
            for (auto& b : input) b = static_cast<uint8_t>(rng());
            input[0] = static_cast<uint8_t>(mode);
            input[2] = static_cast<uint8_t>(trial * 21);
            EXPECT_TRUE(P25FuzzOneInput(input.data(), input.size())) << mode << " " << trial;
        }
    }
    // Too-short inputs are ignored.
    const uint8_t tiny[2] = {2, 0};
    EXPECT_TRUE(P25FuzzOneInput(tiny, 2));
    EXPECT_TRUE(P25FuzzOneInput(nullptr, 0));
}
