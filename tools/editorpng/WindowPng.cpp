#include "WindowPng.h"

#include <png.h>

#include <cstdio>
#include <vector>

#include "APluginEditor.h"
#include "HeadlessWindow.h"
#include "uEditor.h"
#include "uPlugin.h"

namespace editorpng {

bool WritePng(const platform::Bitmap& image, const char* path) {
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    bool ok = false;
    if (info != nullptr && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        std::vector<png_byte> row(static_cast<size_t>(image.width) * 3);
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                const platform::Rgb c = image.at(x, y);
                row[3 * x] = c.r;
                row[3 * x + 1] = c.g;
                row[3 * x + 2] = c.b;
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
        ok = true;
    }
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 && ok;
}

bool WriteEditorSnapshot(APlugin& plugin, const char* path) {
    auto* bridge = dynamic_cast<APluginEditor*>(plugin.getEditor());
    if (bridge == nullptr)
        return false;
    const bool openedHere = bridge->editorWindow() == nullptr;
    if (openedHere)
        bridge->open(nullptr);
    TPluginEditorWindow* window = bridge->editorWindow();
    window->SetAll();
    auto* headless = dynamic_cast<platform::headless::HeadlessWindow*>(&window->form());
    const bool ok = headless != nullptr && WritePng(headless->compose(), path);
    if (openedHere)
        bridge->close();
    return ok;
}

namespace {
VstIntPtr VSTCALLBACK QuietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}
}  // namespace

bool WriteEditorSnapshot(AEffect* source, const char* path) {
    if (source == nullptr)
        return false;
    APlugin local(&QuietHost);
    const VstIntPtr program = source->dispatcher(source, effGetProgram, 0, 0, nullptr, 0.0f);
    local.setProgram(static_cast<VstInt32>(program));
    for (VstInt32 i = 0; i < APlugin::kNumParams && i < source->numParams; ++i)
        local.setParameter(i, source->getParameter(source, i));
    return WriteEditorSnapshot(local, path);
}

}  // namespace editorpng
