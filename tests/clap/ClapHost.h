// A CLAP host of the tests' own, through the project's declarations only
// (clap/abi/): loads a .clap file as hosts do (its exported clap_entry,
// init with the file's path, the plug-in factory), and lends each instance
// a host object whose extensions record what the plug-in asks of it. Every
// call into the plug-in runs inside hostfp::UnmaskedCall, so that the test
// programs' --unmasked-exceptions covers all of them.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "abi/Extensions.h"
#include "abi/Gui.h"

namespace claphost {

using namespace clapabi;

// One .clap file, loaded once per path and kept loaded until the program
// ends (deinit runs then). `error` says why entry() is null.
class Module {
public:
    static Module& load(const std::string& path);
    // The module under test: `--clap PATH` on the command line, else the
    // path the build passed (HALVORINE_CLAP_MODULE).
    static Module& underTest();

    const clap_plugin_entry_t* entry() const { return entry_; }
    const clap_plugin_factory_t* factory() const { return factory_; }
    const std::string& path() const { return path_; }
    const std::string& error() const { return error_; }
    bool loaded() const { return factory_ != nullptr; }
    // The first descriptor's plug-in ID, or "".
    std::string firstId() const;
    // Once, at exit (clap_entry.deinit).
    void deinit();

private:
    explicit Module(const std::string& path);
    std::string path_, error_;
    void* handle_ = nullptr;
    const clap_plugin_entry_t* entry_ = nullptr;
    const clap_plugin_factory_t* factory_ = nullptr;
};

// The host object: answers the extensions below and records every request.
// Requests may come from any thread, hence the atomics and the lock.
class Host {
public:
    Host();
    const clap_host_t* get() const { return &host_; }

    struct Timer {
        clap_id id;
        uint32_t period;
    };
    std::vector<Timer> timers;       // registered now
    std::map<int, uint32_t> fds;     // registered now: descriptor -> flags
    int timerRegistrations = 0, fdRegistrations = 0;
    int timerTicks = 0, fdCalls = 0;  // what drive() delivered
    bool mainThreadOnlyCallOffMain = false;  // a main-thread host call came from elsewhere

    std::atomic<int> restartRequests{0}, processRequests{0}, callbackRequests{0};
    std::atomic<int> flushRequests{0}, rescans{0}, dirtyMarks{0}, latencyChanges{0}, tailChanges{0};
    std::atomic<int> resizeRequests{0}, showRequests{0}, hideRequests{0}, closedNotices{0};

    std::vector<std::string> logs();  // "severity: message"

    // Set while the plug-in runs an audio-thread call: the thread check's
    // answer, since this host runs both sides on one thread.
    bool inAudioCall = false;

private:
    static const void* CLAP_CALL getExtension(const clap_host_t* host, const char* id);
    clap_host_t host_{};
    std::atomic_flag logLock_ = ATOMIC_FLAG_INIT;  // no std::mutex in the Windows builds
    std::vector<std::string> logs_;
    friend struct HostCallbacks;
};

// Parameter value events for one block, in time order as the list hands
// them over (add() keeps the order stable for equal times).
class InputEvents {
public:
    InputEvents();
    void add(clap_id param, uint32_t time, double value);
    const clap_input_events_t* get() const { return &list_; }
    size_t size() const { return events_.size(); }

private:
    std::vector<clap_event_param_value_t> events_;
    clap_input_events_t list_{};
    friend struct HostCallbacks;
};

// What the plug-in sends: each event copied whole.
class OutputEvents {
public:
    OutputEvents();
    const clap_output_events_t* get() const { return &list_; }
    std::vector<std::vector<unsigned char>> events;
    // The parameter value events among them.
    std::vector<clap_event_param_value_t> values() const;

private:
    clap_output_events_t list_{};
};

// Streams over memory that move at most `piece` bytes a call; `fail`
// makes every call answer -1.
class OStream {
public:
    OStream();
    const clap_ostream_t* get() const { return &stream_; }
    std::vector<unsigned char> bytes;
    uint64_t piece = UINT64_MAX;
    bool fail = false;

private:
    clap_ostream_t stream_{};
};

class IStream {
public:
    explicit IStream(std::vector<unsigned char> bytes, uint64_t piece = UINT64_MAX);
    const clap_istream_t* get() const { return &stream_; }
    std::vector<unsigned char> bytes;
    size_t position = 0;
    uint64_t piece;
    bool fail = false;

private:
    clap_istream_t stream_{};
};

// One instance, created and initialised on construction (ok() says whether
// that worked), deactivated and destroyed on destruction.
class Plugin {
public:
    explicit Plugin(Module& module = Module::underTest(), const std::string& id = "");
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    bool ok() const { return plugin_ != nullptr; }
    const clap_plugin_t* raw() const { return plugin_; }
    Host host;

    // Activates and starts processing.
    bool activate(double rate, uint32_t minFrames, uint32_t maxFrames);
    // Processing stopped and started again, the instance staying active.
    void stopProcessing();
    bool startProcessing();
    void deactivate();
    bool active() const { return active_; }
    // One block of 32-bit stereo, in and out as the host's buffers, with
    // the plug-in's ports as it declares them.
    clap_process_status process(float** in, float** out, uint32_t frames, const InputEvents* events = nullptr,
                                OutputEvents* out_events = nullptr);
    // What the second input port (a side chain) gets: by default the
    // input's left channel on each of its channels; with `keyChannels` 0 no
    // channels (an unconnected port), 1 or 2 the channels of `key`.
    int keyChannels = -1;
    float** key = nullptr;

    // Parameters (null-safe: false or 0 when the extension is missing).
    uint32_t paramCount();
    bool paramInfo(uint32_t index, clap_param_info_t& info);
    bool paramValue(clap_id id, double& value);
    bool valueToText(clap_id id, double value, std::string& text);
    bool textToValue(clap_id id, const std::string& text, double& value);
    void flush(const InputEvents& in, OutputEvents& out);

    bool hasState() const { return state_ != nullptr; }
    bool save(OStream& stream);
    bool load(IStream& stream);
    std::vector<unsigned char> state(uint64_t piece = UINT64_MAX);

    uint32_t audioPorts(bool input);
    bool audioPort(uint32_t index, bool input, clap_audio_port_info_t& info);

    // The editor, embedded in `parent` (an X11 Window or an HWND).
    bool guiSupported(const char* api);
    bool guiCreate(const char* api);
    bool guiSize(uint32_t& width, uint32_t& height);
    bool guiSetParent(const char* api, uintptr_t parent);
    bool guiShow();
    bool guiHide();
    void guiDestroy();
    // Calls on_timer for each timer whose period has passed and on_fd for
    // each ready descriptor, and answers request_callback, for `ms`
    // milliseconds.
    void drive(int ms);

    // The output of a whole signal through blocks of `block` frames (left,
    // then right), activated at `rate`; `first` comes with the first block.
    std::vector<float> render(double rate, uint32_t block, const std::vector<float>& left,
                              const std::vector<float>& right, const InputEvents* first = nullptr);

    // An extension of the plug-in's, through an unmasked call.
    const void* extension(const char* id);

private:
    const clap_plugin_t* plugin_ = nullptr;
    const clap_plugin_params_t* params_ = nullptr;
    const clap_plugin_state_t* state_ = nullptr;
    const clap_plugin_audio_ports_t* ports_ = nullptr;
    const clap_plugin_gui_t* gui_ = nullptr;
    std::vector<std::vector<float>> scratch_;
    bool active_ = false, processing_ = false, guiCreated_ = false;
    int64_t steadyTime_ = 0;
};

// A top-level window of the host's to embed an editor in: an X window
// (on the program's one display connection) or a Win32 window. ok() is
// false without a display.
class HostWindow {
public:
    static const char* const kApi;  // this system's window API
    HostWindow();
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;
    bool ok() const { return handle_ != 0; }
    uintptr_t handle() const { return handle_; }
    // How many windows it holds now, as its system sees them.
    int children() const;

private:
    uintptr_t handle_ = 0;
};

}  // namespace claphost
