// The --stats figures: percentiles, which waits count as paced steps, and which presentation a
// key press is charged to.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/frameclock.h"
#include "platform/stats.h"

namespace stats = platform::stats;

namespace {

double fakeNow = 0;
double fakeClock() { return fakeNow; }

}  // namespace

TEST(Stats, MedianAndNearestRankPercentile) {
    std::vector<double> none;
    EXPECT_EQ(stats::summarise(none).count, 0u);
    std::vector<double> v;
    for (int i = 100; i >= 1; --i) v.push_back(i);  // 1..100, unsorted
    const stats::Summary s = stats::summarise(v);
    EXPECT_EQ(s.count, 100u);
    EXPECT_DOUBLE_EQ(s.median, 50.5);
    EXPECT_DOUBLE_EQ(s.p99, 99);
    std::vector<double> one{7};
    EXPECT_DOUBLE_EQ(stats::summarise(one).p99, 7);
}

TEST(Stats, PacedStepsAndKeyDelaysAreAttributedCorrectly) {
    stats::enable();
    stats::reset();
    stats::useStepClock(fakeClock, true);
    // A paced step of 14 ms, then a waitUntil(0) without startFrame: only the first counts.
    fakeNow = 100;
    stats::frameStarted();
    fakeNow = 114;
    stats::stepEnded(13);
    stats::stepEnded(0);
    // A key arrives when the drawing counter is 5: a presentation of nothing newer is not its
    // effect, the next one of newer drawing is; the key is charged once.
    stats::keyArrived(5);
    stats::presented(0.5, 5, true);
    stats::presented(0.5, 6, true);
    stats::presented(0.5, 7, true);
    const std::string text = stats::format();
    EXPECT_NE(text.find("waitUntil(13)       1, median 14.00 ms"), std::string::npos) << text;
    EXPECT_EQ(text.find("waitUntil(0)"), std::string::npos) << text;
    EXPECT_NE(text.find("presentations       3,"), std::string::npos) << text;
    EXPECT_NE(text.find("key to presentation 1 keys"), std::string::npos) << text;
    stats::reset();
    stats::useStepClock(nullptr, false);
}
