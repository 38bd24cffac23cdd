// A host automates parameters and switches programs on one thread while its
// audio thread processes: the audio stays finite and bounded, and once the
// automation stops, silence in gives (nearly) silence out again.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>

#include "BlackBox.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#endif

using blackbox::Instance;
using blackbox::Stereo;
using testhost::dispatch;
using testhost::Host;

namespace {

// A thread running `body`, joined on destruction (the 32-bit Windows
// runtime of this build has no std::thread).
class Thread {
public:
    explicit Thread(std::function<void()> body) : body_(std::move(body)) {
#if defined(_WIN32)
        handle_ = CreateThread(nullptr, 0, &Thread::run, this, 0, nullptr);
#else
        pthread_create(&handle_, nullptr, &Thread::run, this);
#endif
    }
    ~Thread() {
#if defined(_WIN32)
        WaitForSingleObject(handle_, INFINITE);
        CloseHandle(handle_);
#else
        pthread_join(handle_, nullptr);
#endif
    }

private:
#if defined(_WIN32)
    static DWORD WINAPI run(void* self) {
        static_cast<Thread*>(self)->body_();
        return 0;
    }
    HANDLE handle_;
#else
    static void* run(void* self) {
        static_cast<Thread*>(self)->body_();
        return nullptr;
    }
    pthread_t handle_;
#endif
    std::function<void()> body_;
};

}  // namespace

TEST(Threads, AutomationWhileProcessing) {
    Host host;
    Instance e(host);
    ASSERT_TRUE(e);
    dispatch(e.get(), effMainsChanged, 0, 1);

    const int kBlock = 256;
    const int kBlocks = 44100 * 2 / kBlock;
    const Stereo loud = blackbox::TestSignal(kBlock * 8, 44100.0, 0.95f);
    std::atomic<bool> audioDone{false};
    std::atomic<int> badSamples{0};
    std::atomic<int> changes{0};
    AEffect* effect = e.get();
    {
        Thread audio([&] {
            Stereo in = loud;
            Stereo out = loud;
            // At least two seconds of audio, and on until the automation
            // thread has made a good number of changes meanwhile.
            for (int b = 0; b < kBlocks || (changes.load() < 2000 && b < 400 * kBlocks); ++b) {
                const size_t pos = static_cast<size_t>((b % 8) * kBlock);
                float* inputs[2] = {in.left.data() + pos, in.right.data() + pos};
                float* outputs[2] = {out.left.data() + pos, out.right.data() + pos};
                effect->processReplacing(effect, inputs, outputs, kBlock);
                for (size_t i = pos; i < pos + kBlock; ++i)
                    if (!(std::fabs(out.left[i]) <= 1.0f) || !(std::fabs(out.right[i]) <= 1.0f))
                        badSamples.fetch_add(1);
            }
            audioDone = true;
        });
        Thread automation([&] {
            uint32_t seed = 12345;
            auto next = [&seed] {
                seed = seed * 1664525u + 1013904223u;
                return seed >> 8;
            };
            while (!audioDone) {
                const uint32_t r = next();
                if (r % 50 == 0) {
                    dispatch(effect, effSetProgram, 0, static_cast<VstIntPtr>(next() % 8));
                } else {
                    const VstInt32 index = static_cast<VstInt32>(next() % 30);
                    // Every value 0..1 with both ends included.
                    const float value = static_cast<float>(next() % 1001) / 1000.0f;
                    effect->setParameter(effect, index, value);
                }
                changes.fetch_add(1);
            }
        });
    }
    EXPECT_EQ(badSamples.load(), 0) << "samples not finite or outside -1..1";
    EXPECT_GE(changes.load(), 2000);

    // Silence after the automation, with quick settings (the programs now
    // hold automated values): once the followers have fallen, every band is
    // cut and only the tiny silence constant remains. A gain that ran away
    // while the threads met would never fall.
    const float quick[6] = {0.0f, 1.0f, 0.33f, 0.0f, 0.0f, 0.5f};  // as "Default"
    for (VstInt32 i = 0; i < 6; ++i)
        effect->setParameter(effect, i, quick[i]);
    Stereo silence;
    silence.left.assign(44100, 0.0f);
    silence.right.assign(44100, 0.0f);
    const Stereo tail = blackbox::Render(effect, silence);
    for (size_t i = tail.size() - 4096; i < tail.size(); ++i) {
        ASSERT_LT(std::fabs(tail.left[i]), 1e-9f) << "frame " << i;
        ASSERT_LT(std::fabs(tail.right[i]), 1e-9f) << "frame " << i;
    }
}
