// The window just opened on "BigBeat" against the stored golden PNG, pixel
// for pixel, and the snapshot call the command-line host uses.
//
// To accept a deliberate change of the artwork: run with
// HALVORINE_UPDATE_GOLDEN=1, look at golden/bigbeat_open.png, and put the
// hash this test prints into EditorTestUtil.h.
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

#include "EditorTestUtil.h"
#include "WindowPng.h"

namespace {

// Reads an 8-bit RGB PNG; answers an empty bitmap if it cannot.
platform::Bitmap ReadPng(const std::string& path) {
    platform::Bitmap out;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return out;
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> bytes(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr))
        return out;
    out.width = static_cast<int>(image.width);
    out.height = static_cast<int>(image.height);
    for (size_t i = 0; i + 2 < bytes.size(); i += 3)
        out.pixels.push_back({bytes[i], bytes[i + 1], bytes[i + 2]});
    return out;
}

const std::string kGolden = std::string(EDITOR_GOLDEN_DIR) + "/bigbeat_open.png";

}  // namespace

TEST(EditorPng, WindowOpenedOnBigBeatMatchesTheGolden) {
    edtest::Fixture f;
    f.dispatch(effEditOpen);
    const platform::Bitmap frame = f.screen().compose();
    if (std::getenv("HALVORINE_UPDATE_GOLDEN") != nullptr) {
        ASSERT_TRUE(editorpng::WritePng(frame, kGolden.c_str()));
        std::printf("golden written; its hash is 0x%llx\n",
                    static_cast<unsigned long long>(edtest::Fnv1a(frame)));
    }
    const platform::Bitmap golden = ReadPng(kGolden);
    ASSERT_EQ(golden.width, 398) << kGolden;
    ASSERT_EQ(golden.height, 241);
    // The golden PNG and the hash that the Windows builds check are one.
    EXPECT_EQ(edtest::Fnv1a(golden), edtest::kBigBeatGoldenHash);
    int differing = 0;
    for (size_t i = 0; i < frame.pixels.size(); ++i)
        differing += frame.pixels[i] != golden.pixels[i];
    if (differing != 0) {
        const std::string actual = std::string(EDITOR_OUTPUT_DIR) + "/bigbeat_open.actual.png";
        editorpng::WritePng(frame, actual.c_str());
        ADD_FAILURE() << differing << " pixels differ; this build's picture is " << actual;
    }
    f.dispatch(effEditClose);
}

TEST(EditorPng, SnapshotOpensAndClosesTheEditorAroundItself) {
    edtest::Fixture f;
    const std::string path = std::string(EDITOR_OUTPUT_DIR) + "/snapshot.png";
    std::remove(path.c_str());
    ASSERT_TRUE(editorpng::WriteEditorSnapshot(*f.plugin, path.c_str()));
    EXPECT_EQ(f.bridge().editorWindow(), nullptr);
    EXPECT_EQ(edtest::Fnv1a(ReadPng(path)), edtest::kBigBeatGoldenHash);

    // With the editor open, it writes what is shown and leaves it open.
    f.dispatch(effEditOpen);
    f.window().values[5].store(1.0f);
    ASSERT_TRUE(editorpng::WriteEditorSnapshot(*f.plugin, path.c_str()));
    EXPECT_NE(f.bridge().editorWindow(), nullptr);
    const platform::Bitmap written = ReadPng(path);
    EXPECT_EQ(edtest::Fnv1a(written), edtest::Fnv1a(f.screen().compose()));
    EXPECT_NE(edtest::Fnv1a(written), edtest::kBigBeatGoldenHash);
    f.dispatch(effEditClose);

    EXPECT_FALSE(editorpng::WriteEditorSnapshot(*f.plugin, "/nonexistent-directory/x.png"));
}

TEST(EditorPng, SnapshotThroughTheRecordTakesOverProgramAndParameters) {
    edtest::Fixture source;
    const std::string path = std::string(EDITOR_OUTPUT_DIR) + "/record.png";
    AEffect* e = source.plugin->getAeffect();
    ASSERT_TRUE(editorpng::WriteEditorSnapshot(e, path.c_str()));
    EXPECT_EQ(edtest::Fnv1a(ReadPng(path)), edtest::kBigBeatGoldenHash);

    source.dispatch(effSetProgram, 0, 1);
    e->setParameter(e, 5, 1.0f);
    ASSERT_TRUE(editorpng::WriteEditorSnapshot(e, path.c_str()));
    source.dispatch(effEditOpen);
    source.window().SetAll();
    EXPECT_EQ(edtest::Fnv1a(ReadPng(path)), edtest::Fnv1a(source.screen().compose()));
    source.dispatch(effEditClose);
}

// A failed write answers false with its cause, whatever stage it fails at:
// the file cannot be made, or the device fills up while libpng writes (its
// error then must not skip this program's own clean-up: under the
// AddressSanitizer build a skipped destructor shows as a leak).
TEST(EditorPng, FailedWritesAnswerFalseWithTheirCause) {
    edtest::Fixture f;
    f.dispatch(effEditOpen);
    const platform::Bitmap frame = f.screen().compose();
    f.dispatch(effEditClose);

    std::string why;
    EXPECT_FALSE(editorpng::WritePng(frame, "/nonexistent-directory/x.png", &why));
    EXPECT_EQ(why, "No such file or directory");
    why.clear();
    EXPECT_FALSE(editorpng::WritePng(frame, "/dev/full", &why));
    EXPECT_EQ(why, "No space left on device");
    why.clear();
    EXPECT_FALSE(editorpng::WriteEditorSnapshot(*f.plugin, "/dev/full", &why));
    EXPECT_EQ(why, "No space left on device");
    EXPECT_EQ(f.bridge().editorWindow(), nullptr) << "the snapshot left the editor open";
}

namespace {
std::unique_ptr<platform::Window> NoWindow(void*, int, int, platform::Rgb, platform::WindowEvents&) {
    throw std::runtime_error("no window today");
}
}  // namespace

// An editor that cannot open (the window system refuses) fails the
// snapshot; it neither draws into a missing window nor writes a file.
TEST(EditorPng, SnapshotOfAnEditorThatCannotOpenFails) {
    edtest::Fixture f;
    const std::string path = std::string(EDITOR_OUTPUT_DIR) + "/unopened.png";
    std::remove(path.c_str());
    const platform::WindowFactory previous = platform::setWindowFactory(&NoWindow);
    std::string why;
    const bool written = editorpng::WriteEditorSnapshot(*f.plugin, path.c_str(), &why);
    platform::setWindowFactory(previous);
    EXPECT_FALSE(written);
    EXPECT_EQ(why, "the editor window could not be opened");
    EXPECT_NE(access(path.c_str(), F_OK), 0) << "a file was written";
    EXPECT_EQ(f.bridge().openRequests(), 0);
}
