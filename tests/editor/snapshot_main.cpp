// Writes the editor, just opened on the current program, as a PNG, for a
// person to look at:
//   editor_snapshot out.png [zoom [index value]]
// With an index and a value, the read-out shows that parameter's line.
#include <cstdio>
#include <cstdlib>

#include "APluginEditor.h"
#include "HeadlessWindow.h"
#include "WindowPng.h"
#include "uEditor.h"
#include "uPlugin.h"

static VstIntPtr VSTCALLBACK Host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s out.png [zoom]\n", argv[0]);
        return 2;
    }
    const int zoom = argc > 2 ? std::atoi(argv[2]) : 1;
    APlugin plugin(&Host);
    if (zoom <= 1)
        return editorpng::WriteEditorSnapshot(plugin, argv[1]) ? 0 : 1;
    auto* bridge = static_cast<APluginEditor*>(plugin.getEditor());
    if (bridge->open(nullptr) == 0) {
        std::fprintf(stderr, "%s: the editor window could not be opened\n", argv[0]);
        return 1;
    }
    if (argc > 4) {
        TPluginEditorWindow& w = *bridge->editorWindow();
        const int index = std::atoi(argv[3]);
        w.values[index].store(static_cast<float>(std::atof(argv[4])));
        w.SetAll();
        w.SetLabel(index);
    }
    const platform::Bitmap frame =
        dynamic_cast<platform::headless::HeadlessWindow&>(bridge->editorWindow()->form()).compose();
    platform::Bitmap big;
    big.width = frame.width * zoom;
    big.height = frame.height * zoom;
    for (int y = 0; y < big.height; ++y)
        for (int x = 0; x < big.width; ++x)
            big.pixels.push_back(frame.at(x / zoom, y / zoom));
    return editorpng::WritePng(big, argv[1]) ? 0 : 1;
}
