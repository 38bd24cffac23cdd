// The ring-out the engine reports covers what it really renders: after
// loud input and then silence, the output stays below -96 dBFS from
// tailFrames() frames on.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "EngineTestUtil.h"
#include "GateEngine.h"
#include "ParameterTable.h"

using namespace enginetest;

TEST(Tail, RingOutCoversTheRenderedTail) {
    struct Row {
        int program;
        bool narrowest;  // Freq Q at 0 (the narrowest bands), the program's other values
    };
    const Row rows[] = {{0, false}, {1, false}, {2, false}, {3, false}, {4, false}, {5, false},
                        {6, false}, {7, false}, {0, true},  {4, true},  {7, true}};
    const double silent = std::pow(10.0, -96.0 / 20.0);
    for (float rate : {44100.0f, 96000.0f})
        for (const Row& row : rows) {
            gate::GateEngine engine;
            engine.setDesignRate(rate);
            for (int i = 0; i < params::kNumHostParameters; ++i)
                engine.setParameter(i, params::FactoryValue(row.program, i));
            if (row.narrowest)
                engine.setParameter(gate::kFreqQ, 0.0f);
            const uint32_t tail = engine.tailFrames();
            ASSERT_LT(tail, 60u * 44100u) << "program " << row.program;
            // A second of noise and a sine at the lowest (narrowest) band's
            // centre, then silence up to a second past the reported tail.
            const float low = std::fmin(gate::BandCentreFrequency(engine.getParameter(0), engine.getParameter(1), 0),
                                        gate::BandCentreFrequency(engine.getParameter(0), engine.getParameter(1), 15));
            const long drive = static_cast<long>(rate), frames = drive + tail + static_cast<long>(rate);
            Lcg rng(11);
            std::vector<float> in(512), outL(512), outR(512);
            long last = -1;
            for (long at = 0; at < frames; at += 512) {
                for (long i = 0; i < 512; ++i)
                    in[i] = at + i < drive ? static_cast<float>(0.5 * rng.uniform() +
                                                                0.5 * std::sin(6.283185307179586 * low * (at + i) / rate))
                                           : 0.0f;
                engine.processReplacing(in.data(), in.data(), outL.data(), outR.data(), 512);
                for (long i = 0; i < 512; ++i)
                    if (at + i >= drive && (std::fabs(outL[i]) >= silent || std::fabs(outR[i]) >= silent))
                        last = at + i - drive;
            }
            EXPECT_GT(last, 0) << "program " << row.program << ": the test drove nothing";
            EXPECT_LE(last, static_cast<long>(tail))
                << "program " << row.program << (row.narrowest ? ", Q 0" : "") << " at " << rate;
        }
}
