// Medians from counts of each value: the very element median() selects, and
// the very median distance, on ties, even counts, single values and the
// ends of the range; counts left from one set never leak into the next.
#include "analysis/value_counts.h"

#include "analysis/median.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace a = pendra::analysis;

namespace {

constexpr int lowest = -255, highest = 510;

// The median and the median distance from it as median() takes them.
void expectAsMedian(a::ValueCounts &counts, const std::vector<int> &values) {
    std::vector<double> plain(values.begin(), values.end());
    const double m = a::median(plain);
    std::vector<double> distances;
    for (int v : values)
        distances.push_back(std::fabs(v - m));
    const double spread = a::median(distances);
    counts.count(values);
    const int counted = counts.median();
    EXPECT_EQ(counted, m);
    EXPECT_EQ(counts.spread(counted), spread);
    counts.clear(values);
}

} // namespace

TEST(ValueCounts, SelectWhatMedianSelects) {
    a::ValueCounts counts(lowest, highest);
    const std::vector<std::vector<int>> awkward = {
        {7},
        {3, 9},
        {9, 3},
        {4, 4, 4, 4},
        {1, 2, 2, 2, 3, 100},
        {5, 5, 6, 6},
        {lowest, highest},
        {lowest, lowest, lowest, highest},
        {highest, highest, lowest},
        {0, 0, 0, 1, 1, 1},
        {-3, 2, 2, 2, 7, 7, 7, 7},
        // The spread reaches the range's end on one side only.
        {lowest, lowest + 1, 400, 401, 402},
    };
    for (const std::vector<int> &values : awkward) {
        SCOPED_TRACE(testing::PrintToString(values));
        expectAsMedian(counts, values);
    }
}

TEST(ValueCounts, MatchMedianOnRandomSetsOneAfterAnother) {
    // Narrow sets with many ties and wide ones, odd and even sizes; each set
    // follows another in the same counts.
    std::mt19937 random(11);
    a::ValueCounts counts(lowest, highest);
    for (int round = 0; round < 400; ++round) {
        const int size = 1 + round % 37;
        const int width = round % 3 == 0 ? 3 : highest - lowest;
        std::uniform_int_distribution<int> start(lowest, highest - width);
        const int from = start(random);
        std::uniform_int_distribution<int> value(from, from + width);
        std::vector<int> values;
        for (int i = 0; i < size; ++i)
            values.push_back(value(random));
        SCOPED_TRACE(testing::PrintToString(values));
        expectAsMedian(counts, values);
    }
}
