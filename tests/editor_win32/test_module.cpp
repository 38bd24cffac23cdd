// The editor's window class belongs to the module that registered it: each
// copy of the library in a process registers its own, and unloading the
// library unregisters it, so that a reload (possibly at the same address)
// can register it again.
#include <gtest/gtest.h>

#include <string>

#include "Win32Host.h"

using namespace w32test;

namespace {

// A second copy of the library, under another file name, loaded beside the
// one the other tests use.
class LibraryCopy {
public:
    LibraryCopy() {
        const std::string original = testhost::Module::instance().path();
        path = original.substr(0, original.find_last_of("\\/") + 1) + "Halvorine-copy.dll";
        CopyFileA(original.c_str(), path.c_str(), FALSE);
        load();
    }
    ~LibraryCopy() {
        unload();
        DeleteFileA(path.c_str());
    }
    void load() {
        module = LoadLibraryA(path.c_str());
        entry = module != nullptr
                    ? reinterpret_cast<testhost::Module::EntryProc>(
                          reinterpret_cast<void*>(GetProcAddress(module, "VSTPluginMain")))
                    : nullptr;
    }
    void unload() {
        if (module != nullptr)
            FreeLibrary(module);
        module = nullptr;
        entry = nullptr;
    }

    std::string path;
    HMODULE module = nullptr;
    testhost::Module::EntryProc entry = nullptr;
};

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[128] = {};
    GetClassNameW(hwnd, name, 128);
    return name;
}

}  // namespace

TEST(Win32EditorModule, EachCopyOfTheLibraryHasItsOwnClassAndUnregistersItOnUnload) {
    testhost::Host host;
    HostWindow window;
    ASSERT_NE(window.handle(), nullptr);
    Instance first(host);
    ASSERT_EQ(first.open(window.handle()), 1);

    LibraryCopy copy;
    ASSERT_NE(copy.entry, nullptr) << copy.path;
    AEffect* second = copy.entry(&testhost::Host::audioMaster);
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(testhost::dispatch(second, effEditOpen, 0, 0, window.handle()), 1);
    Pump(40);

    const std::vector<HWND> editors = EditorWindows(window.handle());
    ASSERT_EQ(editors.size(), 2u);
    const std::wstring classA = ClassOf(editors[0]), classB = ClassOf(editors[1]);
    EXPECT_NE(classA, classB);
    const HINSTANCE copyInstance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(editors[0], GWLP_HINSTANCE)) == copy.module ? editors[0]
                                                                                                  : editors[1],
        GWLP_HINSTANCE));
    ASSERT_EQ(copyInstance, copy.module) << "one editor window belongs to the copy";
    const std::wstring copyClass =
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(editors[0], GWLP_HINSTANCE)) == copy.module ? classA : classB;
    WNDCLASSEXW info{};
    info.cbSize = sizeof info;
    EXPECT_TRUE(GetClassInfoExW(copy.module, copyClass.c_str(), &info));

    testhost::dispatch(second, effClose);  // frees its open editor
    EXPECT_EQ(EditorWindows(window.handle()).size(), 1u);
    const HMODULE unloaded = copy.module;
    copy.unload();
    EXPECT_FALSE(GetClassInfoExW(unloaded, copyClass.c_str(), &info)) << "the class outlived its library";

    // Loaded again, the copy registers its class again and opens an editor.
    copy.load();
    ASSERT_NE(copy.entry, nullptr);
    AEffect* third = copy.entry(&testhost::Host::audioMaster);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(testhost::dispatch(third, effEditOpen, 0, 0, window.handle()), 1);
    EXPECT_EQ(EditorWindows(window.handle()).size(), 2u);
    testhost::dispatch(third, effClose);
    first.closeEditor();
    EXPECT_TRUE(EditorWindows(window.handle()).empty());
}
