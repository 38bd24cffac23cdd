// The CLAP edition's plug-in object, around the same gate engine as the
// other editions. It translates CLAP's calls and structures; what it does
// lives in edition/, shared with the VST3 edition.
//
// Two sides, as in the VST3 edition:
// - the processor side (the audio thread's process, and flush while not
//   processing) is an edition::Processor. Parameter changes reach it only
//   there: the host's input events at their frames, and the editor's edits,
//   which wait in a lock-free queue from the main thread until then.
// - the controller side (the main thread) is an edition::Controller, the
//   values that the host and the editor read. CLAP hosts do not send the
//   processor's changes back to it, so it follows the processor's published
//   state (StateSnapshot) whenever that changes, except while edits of the
//   editor's still wait for the processor.
//
// Nothing calls back into the host from the audio thread, and the host hears
// of values that changed behind its back (a program chosen through a preset)
// only from on_main_thread, when it holds nothing of its own.
#pragma once

#include <atomic>
#include <cstdint>

#include "ClapParts.h"
#include "edition/Controller.h"
#include "EditorController.h"
#include "edition/Processor.h"
#include "abi/Extensions.h"

namespace clapedition {

extern const clapabi::clap_plugin_descriptor_t kDescriptor;

class ClapPlugin;
// Gives an instance's C face its functions (ClapEntry.cpp).
void FillPlugin(clapabi::clap_plugin_t& plugin, ClapPlugin* self);

// An edit of the editor's on its way to the processor and the host.
struct EditorEvent {
    enum Kind : uint8_t { kBegin, kValue, kEnd };
    Kind kind;
    uint32_t id;  // a parameter ID: 0 to 21, Program for a chosen program, or Key
    double value;  // normalised
};

// Single producer (the main thread), single consumer (whichever thread
// process or flush runs on; never two at once). Fixed storage: neither side
// allocates or waits. A full queue refuses the event.
class EditorEventQueue {
public:
    bool push(const EditorEvent& event);
    bool pop(EditorEvent& event);

private:
    static constexpr uint32_t kSize = 4096;  // a power of two
    EditorEvent events_[kSize] = {};
    std::atomic<uint32_t> head_{0};  // next to read (consumer)
    std::atomic<uint32_t> tail_{0};  // next to write (producer)
};

class ClapPlugin final : public EditorController {
public:
    explicit ClapPlugin(const clapabi::clap_host_t* host);
    ~ClapPlugin();
    ClapPlugin(const ClapPlugin&) = delete;
    ClapPlugin& operator=(const ClapPlugin&) = delete;

    const clapabi::clap_plugin_t* clapPlugin() const { return &plugin_; }
    const clapabi::clap_host_t* host() const { return host_; }
    ClapGui*& gui() { return gui_; }

    // clap_plugin_t
    bool init();
    bool activate(double rate, uint32_t minFrames, uint32_t maxFrames);
    void deactivate() {}
    bool startProcessing();
    void stopProcessing();
    void reset();
    clapabi::clap_process_status process(const clapabi::clap_process_t& process);
    void onMainThread();

    // Parameters: values as CLAP has them (Program 0 to 7, the others 0..1).
    bool paramValue(clapabi::clap_id id, double& value);
    void flush(const clapabi::clap_input_events_t* in, const clapabi::clap_output_events_t* out);

    // State
    bool save(const clapabi::clap_ostream_t& stream);
    bool load(const clapabi::clap_istream_t& stream);

    uint32_t tail() const { return processor_.tailFrames(); }

    // The editor's side (ClapParts.h).
    float editorValue(int index);
    int editorKeySource();
    int editorProgram();
    bool editorActivity(float level[16], float gain[16]);
    float learnRate() override { return static_cast<float>(processor_.sampleRate()); }
    bool editorKeyMissing() const { return processor_.keyMissing(); }
    bool chooseProgram(int program);

    // EditorController: the editor's edits, queued for the processor and
    // the host.
    void setParameterAutomated(int index, float value) override;
    void beginGesture(int index) override;
    void endGesture(int index) override;
    // The Key selector's click: a whole edit of Key.
    void keySourceChosen(int choice) override;

    // Debug builds: the host's thread check agrees that the call came on the
    // main (or the audio) thread. Nothing in release builds.
    void checkMainThread() const;
    void checkAudioThread() const;

private:
    // Runs the processor on one block (or none, for a flush) with the
    // host's events and the editor's, and sends the host what it must hear.
    edition::Processor::Result run(const float* const* in, float* const* out, int32_t frames, bool inputSilent,
                                   const float* const* key, const clapabi::clap_input_events_t* inEvents,
                                   const clapabi::clap_output_events_t* outEvents);
    // The controller follows what the processor published (main thread).
    void follow();
    // Queues an edit and asks the host for a flush while not processing.
    void queue(const EditorEvent& event);

    clapabi::clap_plugin_t plugin_{};
    const clapabi::clap_host_t* host_;
    const clapabi::clap_host_params_t* hostParams_ = nullptr;
    const clapabi::clap_host_thread_check_t* threadCheck_ = nullptr;
    ClapGui* gui_ = nullptr;

    edition::Processor processor_;
    edition::Controller controller_{nullptr};  // the editor reads editorValue at its own pace
    edition::State followed_;  // the processor's state as the controller last followed it
    EditorEventQueue editorEvents_;
    // What process or flush took from the queue for one block (never both
    // at once: the host does not flush while processing).
    static constexpr int32_t kMaxEditorEvents = 256;
    EditorEvent taken_[kMaxEditorEvents] = {};
    // Value edits queued and not yet published by the processor.
    std::atomic<int> pendingEdits_{0};
    std::atomic<bool> processing_{false};
};

}  // namespace clapedition
