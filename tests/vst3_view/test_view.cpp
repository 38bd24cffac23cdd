// The editor view's answers that need no window: platform types, its fixed
// size, its interfaces and its reference count.
#include <cstddef>
#include <cstring>

#include "ViewHost.h"

using namespace viewtest;

namespace {

static_assert(sizeof(ViewRect) == 16 && offsetof(ViewRect, top) == 4 && offsetof(ViewRect, bottom) == 12,
              "ViewRect is four 32-bit integers");

struct View {
    Owner owner;
    IPlugView* view = vst3edition::CreateEditorView(owner);
    ~View() {
        if (view != nullptr)
            view->release();
    }
};

}  // namespace

TEST(Vst3View, AnswersItsOwnPlatformTypeOnly) {
#if defined(_WIN32)
    const char* native = "HWND";
#else
    const char* native = "X11EmbedWindowID";
#endif
    View v;
    ASSERT_NE(v.view, nullptr);
    const char* refused[] = {"HWND", "X11EmbedWindowID", "NSView", "WaylandSurfaceID", "", "hwnd", nullptr};
    EXPECT_EQ(v.view->isPlatformTypeSupported(native), kResultTrue);
    for (const char* type : refused) {
        if (type == nullptr || std::strcmp(type, native) != 0) {
            EXPECT_EQ(v.view->isPlatformTypeSupported(type), kResultFalse) << (type ? type : "null");
        }
    }
    int parent = 0;
    EXPECT_EQ(v.view->attached(&parent, "NSView"), kResultFalse);
    EXPECT_EQ(v.view->attached(nullptr, native), kInvalidArgument);
    EXPECT_EQ(v.view->removed(), kResultFalse) << "nothing was attached";
}

TEST(Vst3View, KeepsItsSizeWhateverTheHostProposes) {
    View v;
    ViewRect size{-1, -1, -1, -1};
    ASSERT_EQ(v.view->getSize(&size), kResultOk);
    EXPECT_EQ(size.left, 0);
    EXPECT_EQ(size.top, 0);
    EXPECT_EQ(size.right, 398);
    EXPECT_EQ(size.bottom, 241);
    EXPECT_EQ(v.view->canResize(), kResultFalse);
    const ViewRect proposals[] = {{0, 0, 800, 600}, {10, 20, 11, 21}, {-5, 7, 393, 248}, {0, 0, 398, 241}};
    for (ViewRect r : proposals) {
        const ViewRect asked = r;
        EXPECT_EQ(v.view->checkSizeConstraint(&r), kResultOk);
        EXPECT_EQ(r.left, asked.left);
        EXPECT_EQ(r.top, asked.top);
        EXPECT_EQ(r.right - r.left, 398);
        EXPECT_EQ(r.bottom - r.top, 241);
        EXPECT_EQ(v.view->onSize(&r), kResultOk);
    }
    EXPECT_EQ(v.view->getSize(nullptr), kInvalidArgument);
    EXPECT_EQ(v.view->checkSizeConstraint(nullptr), kInvalidArgument);
    EXPECT_EQ(v.view->onSize(nullptr), kInvalidArgument);
}

TEST(Vst3View, FollowsTheComRulesAndTellsItsOwnerWhenItGoes) {
    View v;
    IPlugView* view = v.view;
    void* obj = nullptr;
    TUID id;
    IPlugViewContentScaleSupport::iid.copyTo(id);
    ASSERT_EQ(view->queryInterface(id, &obj), kResultOk);
    auto* scale = static_cast<IPlugViewContentScaleSupport*>(obj);
    EXPECT_EQ(scale->setContentScaleFactor(2.0f), kResultFalse) << "the view does not scale";
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
    EXPECT_TRUE(v.owner.destroyed.empty());

    EXPECT_EQ(view->onKeyDown(u'a', 0, 0), kResultFalse) << "keys stay the host's";
    EXPECT_EQ(view->onWheel(1.0f), kResultFalse);
    EXPECT_EQ(view->onFocus(1), kResultOk);
    EXPECT_EQ(view->release(), 0u);
    v.view = nullptr;
    ASSERT_EQ(v.owner.destroyed.size(), 1u);
    EXPECT_EQ(v.owner.destroyed[0], view);
}
