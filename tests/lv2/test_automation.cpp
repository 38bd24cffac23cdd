// Automation as a host sends it: a control changed between runs, every
// 10 ms. A sine through the "Default" program stays as smooth with a swept
// Start, Finish, Q or Boost as without: the largest step between
// consecutive output samples at most twice that of the unautomated render
// (restarting the filters on every change makes steps many times larger).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "Lv2TestUtil.h"

namespace {

using lv2test::Lv2Instance;
using lv2test::Stereo;

constexpr double kRate = 44100.0;
constexpr int kRun = 441;    // frames between control changes
constexpr int kRuns = 400;   // 4 s
constexpr double kSweepHz = 2.0;
constexpr double kDepth = 0.1;  // the control swings this far either side of its centre
// The sine's onset through the filters, the largest step of all, is left
// out of both renders: the first 0.1 s.
constexpr size_t kSettle = 4410;

double LargestStep(const Stereo& out) {
    double largest = 0.0;
    for (size_t i = kSettle; i < out.frames(); ++i)
        largest = std::max({largest, std::fabs(double(out.left[i]) - out.left[i - 1]),
                            std::fabs(double(out.right[i]) - out.right[i - 1])});
    return largest;
}

// The "Default" program with control `index` at `centre`, swept by a sine
// of kDepth when `sweep` is set.
Stereo RenderSweep(const Stereo& in, int index, double centre, bool sweep) {
    Lv2Instance lv2(kRate);
    lv2.applyPreset(0);
    return lv2test::Render(lv2, in, kRun, [&](int run) {
        const double t = double(run) * kRun / kRate;
        const double swing = sweep ? kDepth * std::sin(2.0 * M_PI * kSweepHz * t) : 0.0;
        lv2.controls[index] = static_cast<float>(centre + swing);
    });
}

TEST(Automation, SweptControlsKeepTheOutputSmooth) {
    if (lv2test::World::get().plugin() == nullptr)
        GTEST_SKIP() << "no <urn:pellucid:halvorine> on LV2_PATH";
    Stereo in(kRun * kRuns);
    for (size_t i = 0; i < in.frames(); ++i)
        in.left[i] = in.right[i] = static_cast<float>(0.25 * std::sin(2.0 * M_PI * 441.0 * double(i) / kRate));

    // Centres: the "Default" values, moved inside the range by the depth.
    const std::pair<int, double> controls[] = {{0, 0.1}, {1, 0.9}, {2, 0.33}, {5, 0.5}};
    for (const auto& [index, centre] : controls) {
        const double still = LargestStep(RenderSweep(in, index, centre, false));
        const double swept = LargestStep(RenderSweep(in, index, centre, true));
        std::printf("%-12s largest step %.5f automated, %.5f unautomated\n", params::kParameters[index].hostName,
                    swept, still);
        EXPECT_GT(still, 0.01);
        EXPECT_LE(swept, 2.0 * still) << params::kParameters[index].hostName;
    }
}

}  // namespace
