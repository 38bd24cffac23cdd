#include "Snapshot.h"

#include <iostream>

#if HALVORINE_EDITOR_PNG
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "APluginEditor.h"
#include "AudioFiles.h"
#include "PluginHost.h"
#include "WindowPng.h"
#include "uEditor.h"
#include "uPlugin.h"
#endif

namespace halvorine {

#if HALVORINE_EDITOR_PNG

namespace {

// The editor can only be drawn in memory by a plug-in object built in this
// program, with the headless window backend; a loaded library keeps its
// window to itself. Everything else still goes through the record.
AEffect* VSTCALLBACK builtInEntry(audioMasterCallback host) { return (new APlugin(host))->getAeffect(); }

// The key choice of a --key-source name, in the window's numbering; -1 for
// none.
int keyChoice(const std::string& name) {
    const char* const names[] = {"left", "right", "mid", "side", "external"};
    for (int i = 0; i < 5; ++i)
        if (name == names[i])
            return i;
    if (!name.empty())
        throw std::runtime_error("unknown key source \"" + name + "\"");
    return -1;
}

}  // namespace

int snapshot(const std::string& path, const Settings& settings, double scale, const std::string& keySource) {
    const int key = keyChoice(keySource);
    Plugin plugin(builtInEntry, "Halvorine (built in)", 44100.0);
    plugin.open(1024);
    applySettings(plugin, settings);
    auto* object = static_cast<APlugin*>(static_cast<AudioEffect*>(plugin.effect()->object));

    // Written beside its final name and renamed, like a render. The
    // descriptor syncs the file that the writer opens by name.
    std::string temporary;
    const int fd = createTemporaryBeside(path, temporary);
    std::string why;
    // The VST 2.x object has no key: with a key source, the window is
    // opened here and shown as the VST3, CLAP and LV2 editions show it (the
    // key selector on the choice, the Learn button; no audio runs, so the
    // grooves are empty); the snapshot then draws what is shown.
    auto* bridge = dynamic_cast<APluginEditor*>(object->getEditor());
    bool openedHere = false;
    if (key >= 0 && bridge != nullptr) {
        bridge->setScale(static_cast<float>(scale));
        openedHere = bridge->open(nullptr) != 0;
        if (openedHere) {
            bridge->editorWindow()->keySource.store(key);
            bridge->editorWindow()->showsActivity = true;
            bridge->editorWindow()->SetAll();
        }
    }
    const bool written = editorpng::WriteEditorSnapshot(*object, temporary.c_str(), &why, scale);
    if (openedHere)
        bridge->close();
    if (!written) {
        close(fd);
        unlink(temporary.c_str());
        throw std::runtime_error("cannot write " + path + ": " + why);
    }
    try {
        commitTemporary(fd, temporary, path);
    } catch (...) {
        unlink(temporary.c_str());
        throw;
    }
    std::cout << path << ": the editor window, program " << plugin.currentProgram() << " \""
              << plugin.programName(plugin.currentProgram()) << "\"\n";
    return 0;
}

#else

int snapshot(const std::string& path, const Settings& /*settings*/, double /*scale*/,
             const std::string& /*keySource*/) {
    // This build has no in-memory editor renderer; say so rather than write
    // an empty or made-up picture.
    std::cerr << "halvorine snapshot: not available yet: this build cannot draw the editor; " << path
              << " was not written\n";
    return 1;
}

#endif

}  // namespace halvorine
