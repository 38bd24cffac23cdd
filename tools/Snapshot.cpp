#include "Snapshot.h"

#include <iostream>

#if HALVORINE_EDITOR_PNG
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "AudioFiles.h"
#include "PluginHost.h"
#include "WindowPng.h"
#include "uPlugin.h"
#endif

namespace halvorine {

#if HALVORINE_EDITOR_PNG

namespace {

// The editor can only be drawn in memory by a plug-in object built in this
// program, with the headless window backend; a loaded library keeps its
// window to itself. Everything else still goes through the record.
AEffect* VSTCALLBACK builtInEntry(audioMasterCallback host) { return (new APlugin(host))->getAeffect(); }

}  // namespace

int snapshot(const std::string& path, const Settings& settings, double scale) {
    Plugin plugin(builtInEntry, "Halvorine (built in)", 44100.0);
    plugin.open(1024);
    applySettings(plugin, settings);
    auto* object = static_cast<APlugin*>(static_cast<AudioEffect*>(plugin.effect()->object));

    // Written beside its final name and renamed, like a render. The
    // descriptor syncs the file that the writer opens by name.
    std::string temporary;
    const int fd = createTemporaryBeside(path, temporary);
    std::string why;
    if (!editorpng::WriteEditorSnapshot(*object, temporary.c_str(), &why, scale)) {
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

int snapshot(const std::string& path, const Settings& /*settings*/, double /*scale*/) {
    // This build has no in-memory editor renderer; say so rather than write
    // an empty or made-up picture.
    std::cerr << "halvorine snapshot: not available yet: this build cannot draw the editor; " << path
              << " was not written\n";
    return 1;
}

#endif

}  // namespace halvorine
