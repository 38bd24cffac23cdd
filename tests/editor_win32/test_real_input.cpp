// Real mouse input: the X server's pointer, moved and clicked with xdotool
// on the display that wine draws on, reaches the editor through wine's
// window system as a user's hand would (hit-testing, capture, Shift from
// the keyboard).
//
// wine starts Unix programs but gives no handle to wait on, so each script
// ends by creating a marker file, and the test runs its messages until the
// marker appears. Skipped where there is no display or no xdotool, unless
// HALVORINE_REQUIRE_DISPLAY is set (scripts/test.sh and CI provide both):
// then their absence fails the tests.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Win32Host.h"

using namespace w32test;

namespace {

constexpr int kBoost = 5;

bool HaveXdotool() {
    return std::getenv("DISPLAY") != nullptr && GetFileAttributesA("Z:\\usr\\bin\\xdotool") != INVALID_FILE_ATTRIBUTES;
}

// Runs `commands` (xdotool's own command chain) and waits, running this
// thread's messages, until it has finished or `timeoutMs` has passed.
bool RunXdotool(const std::string& commands, int timeoutMs = 8000) {
    static int serial = 0;
    const std::string name = "halvorine-xdo-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
    const std::string unixMarker = "/tmp/" + name;
    const std::string windowsMarker = "Z:\\tmp\\" + name;
    DeleteFileA(windowsMarker.c_str());
    std::string command = "/bin/sh -c \"/usr/bin/xdotool " + commands + "; touch " + unixMarker + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    if (pi.hProcess != nullptr)
        CloseHandle(pi.hProcess);
    if (pi.hThread != nullptr)
        CloseHandle(pi.hThread);
    const DWORD start = GetTickCount();
    while (GetFileAttributesA(windowsMarker.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - start > static_cast<DWORD>(timeoutMs))
            return false;
        Pump(20);
    }
    DeleteFileA(windowsMarker.c_str());
    Pump(150);  // what the X server delivered last
    return true;
}

std::string At(HWND editor, int clientX, int clientY) {
    POINT p{clientX, clientY};
    ClientToScreen(editor, &p);
    return "mousemove " + std::to_string(p.x) + " " + std::to_string(p.y) + " sleep 0.05 ";
}

class RealInput : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveXdotool()) {
            const char* required = std::getenv("HALVORINE_REQUIRE_DISPLAY");
            if (required != nullptr && *required != '\0' && std::string(required) != "0")
                GTEST_FAIL() << "no X display or no xdotool, but HALVORINE_REQUIRE_DISPLAY is set";
            GTEST_SKIP() << "no X display or no xdotool";
        }
        host.answer = [this](const testhost::Callback& c) -> VstIntPtr {
            if (c.opcode == audioMasterAutomate) {
                indices.push_back(c.index);
                values.push_back(c.opt);
                held.push_back(c.effect->getParameter(c.effect, c.index));
            }
            return c.opcode == audioMasterVersion ? 2400 : 0;
        };
        ASSERT_NE(plugin.effect, nullptr);
        ASSERT_EQ(plugin.open(window.handle()), 1);
        const std::vector<HWND> editors = EditorWindows(window.handle());
        ASSERT_EQ(editors.size(), 1u);
        editor = editors.front();
        // The window on the screen and the pointer resting outside it.
        Pump(100);
        ASSERT_TRUE(RunXdotool(At(editor, 500, 400)));
    }
    void TearDown() override {
        if (HaveXdotool())
            RunXdotool("mouseup 1 keyup shift");  // whatever a failed test left pressed
    }

    testhost::Host host;
    HostWindow window;
    Instance plugin{host};
    HWND editor = nullptr;
    std::vector<VstInt32> indices;
    std::vector<float> values, held;
};

}  // namespace

TEST_F(RealInput, DragOnBoostFollowsThePointerInsideAndOutsideTheWindow) {
    const POINT press = SliderPoint(kBoost, 50);
    const POINT right = SliderPoint(kBoost, 70);
    ASSERT_TRUE(RunXdotool(At(editor, press.x, press.y) + "mousedown 1 sleep 0.1 " + At(editor, right.x, right.y) +
                           At(editor, -50, press.y) + "sleep 0.1"));
    // Still dragging, outside the editor and its host window: captured.
    EXPECT_EQ(GetCapture(), editor);
    ASSERT_TRUE(RunXdotool(At(editor, 600, 300) + "mouseup 1"));
    EXPECT_EQ(GetCapture(), nullptr);

    ASSERT_GE(values.size(), 4u);
    for (size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(indices[i], kBoost);
        EXPECT_EQ(held[i], values[i]) << "the host heard of a change before the plug-in held it";
    }
    EXPECT_EQ(values.front(), 0.5f);  // the press itself
    bool sawRight = false, sawLeftOutside = false;
    for (float v : values) {
        sawRight |= v == 0.75f;
        sawLeftOutside |= v == 0.0f;
    }
    EXPECT_TRUE(sawRight);
    EXPECT_TRUE(sawLeftOutside);
    EXPECT_EQ(values.back(), 1.0f);  // right of and below the window
    EXPECT_EQ(plugin.effect->getParameter(plugin.effect, kBoost), 1.0f);

    // Released: moving over a slider only shows its line.
    const size_t sent = values.size();
    ASSERT_TRUE(RunXdotool(At(editor, press.x, press.y)));
    EXPECT_EQ(values.size(), sent);
}

TEST_F(RealInput, ShiftDragFromTheKeyboardIsFine) {
    plugin.effect->setParameter(plugin.effect, kBoost, 0.5f);
    Pump(60);
    const POINT press = SliderPoint(kBoost, 50);
    const POINT moved = SliderPoint(kBoost, 60);
    ASSERT_TRUE(RunXdotool("keydown shift sleep 0.05 " + At(editor, press.x, press.y) + "mousedown 1 sleep 0.1 " +
                           At(editor, moved.x, moved.y) + "mouseup 1 sleep 0.05 keyup shift"));
    ASSERT_FALSE(values.empty()) << "the move did not arrive";
    // A fine press sends nothing; the move to slider x 60 gives 0.5 + 50 / 1000.
    EXPECT_NEAR(values.back(), 0.55f, 1e-6);
    for (float v : values)
        EXPECT_GT(v, 0.5f);
}
