// Golden outputs, through the record: each factory program renders one
// second of a fixed signal in 512-frame blocks. The file holds, per case, a
// hash of every output bit and every 441st frame as hex floats; all of it
// must match exactly. Regenerate (on Linux, after a deliberate change of
// the sound) with: golden_tests --golden FILE --update
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "TestHost.h"
#include "TestSignal.h"

namespace {

std::string g_goldenPath;
bool g_update = false;

constexpr int kFrames = 44100;
constexpr int kBlock = 512;
constexpr int kStride = 441;

uint32_t Bits(float x) {
    uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

// C99 hex-float text of a float (0x1.8p+1, -0x1.99999ap-4, 0x0p+0),
// written here rather than by printf, whose "%a" differs between C
// libraries. Subnormals are written normalised.
std::string HexFloat(float x) {
    uint32_t b = Bits(x);
    std::string s = (b >> 31) ? "-" : "";
    int exponent = static_cast<int>((b >> 23) & 0xFF);
    uint32_t mantissa = b & 0x7FFFFF;
    if (exponent == 0xFF)
        return s + (mantissa ? "nan" : "inf");
    if (exponent == 0 && mantissa == 0)
        return s + "0x0p+0";
    if (exponent == 0) {  // subnormal: normalise
        exponent = 1;
        while (!(mantissa & 0x800000)) {
            mantissa <<= 1;
            --exponent;
        }
        mantissa &= 0x7FFFFF;
    }
    char digits[16];
    std::snprintf(digits, sizeof digits, "%06" PRIx32, mantissa << 1);
    std::string frac(digits);
    while (!frac.empty() && frac.back() == '0')
        frac.pop_back();
    char tail[16];
    std::snprintf(tail, sizeof tail, "p%+d", exponent - 127);
    return s + "0x1" + (frac.empty() ? "" : "." + frac) + tail;
}

struct Case {
    std::string name;
    int program;
    float designRate;
};

// Renders one case through the library, as a host would.
std::vector<float> Render(const Case& c) {
    testhost::Host host;
    host.answer = [&c](const testhost::Callback& cb) -> VstIntPtr {
        if (cb.opcode == audioMasterVersion)
            return 2400;
        if (cb.opcode == audioMasterGetSampleRate)
            return static_cast<VstIntPtr>(c.designRate);
        return 0;
    };
    AEffect* e = host.create();
    if (e == nullptr)
        return {};
    testhost::dispatch(e, effOpen);
    testhost::dispatch(e, effSetSampleRate, 0, 0, nullptr, c.designRate);
    testhost::dispatch(e, effSetBlockSize, 0, kBlock);
    testhost::dispatch(e, effSetProgram, 0, c.program);
    testhost::dispatch(e, effMainsChanged, 0, 1);

    std::vector<float> inL, inR;
    testsignal::MakeTestSignal(inL, inR, kFrames, 20261207);
    std::vector<float> outL(kFrames), outR(kFrames);
    for (int pos = 0; pos < kFrames; pos += kBlock) {
        const int n = kFrames - pos < kBlock ? kFrames - pos : kBlock;
        float* in[2] = {inL.data() + pos, inR.data() + pos};
        float* out[2] = {outL.data() + pos, outR.data() + pos};
        e->processReplacing(e, in, out, n);
    }
    testhost::dispatch(e, effMainsChanged, 0, 0);
    testhost::dispatch(e, effClose);
    std::vector<float> both(outL);
    both.insert(both.end(), outR.begin(), outR.end());
    return both;
}

// FNV-1a over the bit patterns of every sample.
uint64_t Hash(const std::vector<float>& samples) {
    uint64_t h = 1469598103934665603ull;
    for (float x : samples) {
        uint32_t b = Bits(x);
        for (int i = 0; i < 4; ++i) {
            h ^= (b >> (8 * i)) & 0xFF;
            h *= 1099511628211ull;
        }
    }
    return h;
}

std::string Describe(const Case& c, const std::vector<float>& out) {
    std::ostringstream text;
    char hash[32];
    std::snprintf(hash, sizeof hash, "%016" PRIx64, Hash(out));
    text << "case " << c.name << "\nhash " << hash << "\n";
    for (int f = 0; f < kFrames; f += kStride)
        text << f << ' ' << HexFloat(out[static_cast<size_t>(f)]) << ' '
             << HexFloat(out[static_cast<size_t>(kFrames + f)]) << '\n';
    return text.str();
}

std::vector<Case> Cases() {
    const char* names[8] = {"Default", "Gated", "HiGate", "LowGate", "LongRel", "Chuffy", "BandLimited", "BigBeat"};
    std::vector<Case> cases;
    for (int p = 0; p < 8; ++p)
        cases.push_back({std::string(names[p]) + "@44100", p, 44100.0f});
    cases.push_back({"BigBeat@48000", 7, 48000.0f});
    return cases;
}

// Splits the golden text into its cases.
std::vector<std::string> SplitCases(const std::string& text) {
    std::vector<std::string> parts;
    size_t pos = text.find("case ");
    while (pos != std::string::npos) {
        size_t next = text.find("\ncase ", pos);
        parts.push_back(text.substr(pos, next == std::string::npos ? std::string::npos : next + 1 - pos));
        pos = next == std::string::npos ? next : next + 1;
    }
    return parts;
}

}  // namespace

TEST(Golden, HexFloatText) {
    EXPECT_EQ(HexFloat(1.0f), "0x1p+0");
    EXPECT_EQ(HexFloat(3.0f), "0x1.8p+1");
    EXPECT_EQ(HexFloat(-0.1f), "-0x1.99999ap-4");
    EXPECT_EQ(HexFloat(0.0f), "0x0p+0");
    EXPECT_EQ(HexFloat(1e-45f), "0x1p-149");
}

TEST(Golden, EveryBuildComputesTheSameSamples) {
    const std::vector<std::string>& args = testhost::CommandLine();
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--update")
            g_update = true;
        if (args[i] == "--golden" && i + 1 < args.size())
            g_goldenPath = args[i + 1];
    }
    ASSERT_FALSE(g_goldenPath.empty()) << "run with --golden FILE";
    std::string all;
    for (const Case& c : Cases()) {
        const std::vector<float> out = Render(c);
        ASSERT_EQ(out.size(), static_cast<size_t>(2 * kFrames)) << c.name;
        all += Describe(c, out);
    }
    if (g_update) {
        std::ofstream file(g_goldenPath, std::ios::binary);
        file << all;
        ASSERT_TRUE(file.good()) << "cannot write " << g_goldenPath;
        return;
    }
    std::ifstream file(g_goldenPath, std::ios::binary);
    ASSERT_TRUE(file.good()) << "cannot read " << g_goldenPath;
    std::stringstream expected;
    expected << file.rdbuf();
    const std::vector<std::string> want = SplitCases(expected.str());
    const std::vector<std::string> got = SplitCases(all);
    ASSERT_EQ(want.size(), got.size());
    for (size_t i = 0; i < want.size(); ++i)
        EXPECT_EQ(want[i], got[i]);  // gtest shows the first differing lines
}
