// The editor view's answers that need no window: platform types, its fixed
// size, its interfaces and its reference count.
#include <cstddef>
#include <cstring>

#include "ViewHost.h"

using namespace viewtest;

static_assert(sizeof(ViewRect) == 16 && offsetof(ViewRect, top) == 4 && offsetof(ViewRect, bottom) == 12,
              "ViewRect is four 32-bit integers");

TEST(Vst3View, AnswersItsPlatformTypeAndKeepsItsSize) {
#if defined(_WIN32)
    const char* native = "HWND";
#else
    const char* native = "X11EmbedWindowID";
#endif
    Owner owner;
    IPlugView* view = vst3edition::CreateEditorView(owner);
    ASSERT_NE(view, nullptr);
    for (const char* type : {"HWND", "X11EmbedWindowID", "NSView", "", "hwnd", static_cast<const char*>(nullptr)}) {
        const bool ours = type != nullptr && std::strcmp(type, native) == 0;
        EXPECT_EQ(view->isPlatformTypeSupported(type), ours ? kResultTrue : kResultFalse) << (type ? type : "null");
    }
    int parent = 0;
    EXPECT_EQ(view->attached(&parent, "NSView"), kResultFalse);
    EXPECT_EQ(view->attached(nullptr, native), kInvalidArgument);
    EXPECT_EQ(view->removed(), kResultFalse) << "nothing was attached";

    ViewRect size{-1, -1, -1, -1};
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_TRUE(size.left == 0 && size.top == 0 && size.right == 398 && size.bottom == 241);
    EXPECT_EQ(view->canResize(), kResultFalse);
    for (ViewRect r : {ViewRect{0, 0, 800, 600}, ViewRect{10, 20, 11, 21}, ViewRect{-5, 7, 393, 248}}) {
        const ViewRect asked = r;
        EXPECT_EQ(view->checkSizeConstraint(&r), kResultOk);
        EXPECT_TRUE(r.left == asked.left && r.top == asked.top && r.right - r.left == 398 && r.bottom - r.top == 241);
        EXPECT_EQ(view->onSize(&r), kResultOk);
    }
    EXPECT_EQ(view->getSize(nullptr), kInvalidArgument);
    EXPECT_EQ(view->checkSizeConstraint(nullptr), kInvalidArgument);
    EXPECT_EQ(view->onKeyDown(u'a', 0, 0), kResultFalse) << "keys stay the host's";
    EXPECT_EQ(view->onWheel(1.0f), kResultFalse);
    EXPECT_EQ(view->release(), 0u);
}

TEST(Vst3View, FollowsTheComRulesAndTellsItsOwnerWhenItGoes) {
    Owner owner;
    IPlugView* view = vst3edition::CreateEditorView(owner);
    void* obj = nullptr;
    TUID id;
    IPlugViewContentScaleSupport::iid.copyTo(id);
    ASSERT_EQ(view->queryInterface(id, &obj), kResultOk);
    auto* scale = static_cast<IPlugViewContentScaleSupport*>(obj);
    // The host's scale sets the size the view asks for; 0 withdraws it.
    const struct {
        float factor;
        int width, height;
    } scales[] = {{2.0f, 796, 482}, {1.5f, 597, 362}, {3.0f, 1194, 723}, {0.0f, 398, 241}};
    for (const auto& c : scales) {
        EXPECT_EQ(scale->setContentScaleFactor(c.factor), kResultOk);
        ViewRect size{};
        ASSERT_EQ(view->getSize(&size), kResultOk);
        EXPECT_EQ(size.right - size.left, c.width) << c.factor;
        EXPECT_EQ(size.bottom - size.top, c.height) << c.factor;
    }
    FUnknown::iid.copyTo(id);
    ASSERT_EQ(scale->queryInterface(id, &obj), kResultOk);
    EXPECT_EQ(obj, static_cast<FUnknown*>(view)) << "one identity";
    IPlugFrame::iid.copyTo(id);
    EXPECT_EQ(view->queryInterface(id, &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(view->addRef(), 4u);  // ours, the two queries, this one
    EXPECT_EQ(scale->release(), 3u);
    EXPECT_EQ(view->release(), 2u);
    EXPECT_EQ(view->release(), 1u);
    EXPECT_TRUE(owner.destroyed.empty());
    EXPECT_EQ(owner.held, 1) << "the view holds its owner";
    EXPECT_EQ(view->release(), 0u);
    EXPECT_EQ(owner.held, 0);
    ASSERT_EQ(owner.destroyed.size(), 1u);
    EXPECT_EQ(owner.destroyed[0], view);
}
