#include "WindowPng.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "APluginEditor.h"
#include "HeadlessWindow.h"
#include "uEditor.h"
#include "uPlugin.h"

namespace editorpng {

bool WritePng(const platform::Bitmap& image, const char* path, std::string* why) {
    auto fail = [why](const std::string& reason) {
        if (why != nullptr)
            *why = reason;
        return false;
    };
    std::vector<png_byte> rgb;
    rgb.reserve(image.pixels.size() * 3);
    for (const platform::Rgb& c : image.pixels)
        rgb.insert(rgb.end(), {c.r, c.g, c.b});

    // libpng reports errors by longjmp, which must not cross a C++ frame;
    // its simplified interface keeps the jump inside libpng and answers 0.
    // The file is opened and closed here rather than by the library's own
    // write_to_file, which removes the file it failed to write, whatever
    // that file was.
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr)
        return fail(std::strerror(errno));
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    errno = 0;
    if (!png_image_write_to_stdio(&png, file, 0, rgb.data(), 0, nullptr)) {
        // A failed write sets the stream's error and errno; anything else
        // is libpng's own complaint.
        const std::string reason = std::ferror(file) && errno != 0 ? std::strerror(errno) : png.message;
        std::fclose(file);
        return fail(reason);
    }
    if (std::fflush(file) != 0 || std::ferror(file)) {
        const std::string reason = errno != 0 ? std::strerror(errno) : "write error";
        std::fclose(file);
        return fail(reason);
    }
    if (std::fclose(file) != 0)
        return fail(std::strerror(errno));
    return true;
}

bool WriteEditorSnapshot(APlugin& plugin, const char* path, std::string* why, double scale) {
    auto* bridge = dynamic_cast<APluginEditor*>(plugin.getEditor());
    const bool openedHere = bridge != nullptr && bridge->editorWindow() == nullptr;
    const float previousScale = bridge != nullptr ? bridge->hostScale() : 0.0f;
    if (openedHere)
        bridge->setScale(static_cast<float>(scale));
    if (openedHere && bridge->open(nullptr) == 0) {
        bridge->setScale(previousScale);
        if (why != nullptr)
            *why = "the editor window could not be opened";
        return false;
    }
    TPluginEditorWindow* window = bridge != nullptr ? bridge->editorWindow() : nullptr;
    auto* headless =
        window != nullptr ? dynamic_cast<platform::headless::HeadlessWindow*>(&window->form()) : nullptr;
    bool ok = false;
    if (headless == nullptr) {
        if (why != nullptr)
            *why = bridge == nullptr ? "this plug-in object has no editor"
                                     : "this plug-in object's editor window is not headless";
    } else {
        window->SetAll();
        ok = WritePng(headless->compose(), path, why);
    }
    if (openedHere) {
        bridge->close();
        bridge->setScale(previousScale);
    }
    return ok;
}

namespace {
VstIntPtr VSTCALLBACK QuietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}
}  // namespace

bool WriteEditorSnapshot(AEffect* source, const char* path, std::string* why) {
    if (source == nullptr) {
        if (why != nullptr)
            *why = "no effect record";
        return false;
    }
    APlugin local(&QuietHost);
    const VstIntPtr program = source->dispatcher(source, effGetProgram, 0, 0, nullptr, 0.0f);
    local.setProgram(static_cast<VstInt32>(program));
    for (VstInt32 i = 0; i < APlugin::kNumParams && i < source->numParams; ++i)
        local.setParameter(i, source->getParameter(source, i));
    return WriteEditorSnapshot(local, path, why);
}

}  // namespace editorpng
