#include "ClapPlugin.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace clapedition {

using namespace clapabi;

namespace {

// A host's plain value (Program 0 to 7, Bypass 0 or 1, the others 0..1) as
// the normalised value the processor and the controller hold; not a number
// counts as 0.
double Normalized(clap_id id, double plain) {
    return edition::NormalizedFromPlain(id, plain == plain ? plain : 0.0);
}

bool Same(const edition::State& a, const edition::State& b) {
    return std::memcmp(a.values, b.values, sizeof a.values) == 0 && a.program == b.program && a.bypass == b.bypass &&
           a.key == b.key;
}

bool Stereo32(const clap_audio_buffer_t& buffer) {
    return buffer.channel_count >= 2 && buffer.data32 != nullptr && buffer.data32[0] != nullptr &&
           buffer.data32[1] != nullptr;
}

// The key port's channels as the processor takes them (one channel twice
// for a host that gives it mono), or false when the host gave none: no
// second port, no channels (an unconnected port) or 64-bit buffers.
bool KeyChannels(const clap_process_t& block, const float* channels[2]) {
    if (block.audio_inputs_count < 2 || block.audio_inputs == nullptr)
        return false;
    const clap_audio_buffer_t& key = block.audio_inputs[1];
    if (key.channel_count < 1 || key.data32 == nullptr || key.data32[0] == nullptr)
        return false;
    channels[0] = key.data32[0];
    channels[1] = key.channel_count >= 2 && key.data32[1] != nullptr ? key.data32[1] : channels[0];
    return true;
}

// The block's changes as the processor takes them: the editor's queued
// edits first, all at the block's start, then the host's events, which come
// sorted by time, in two passes over them: its Program changes, then its
// other values. At one frame a program so comes before the values sent
// with it, which a host means to hold, not to see replaced by the
// program's. Events of other kinds, and each pass's events of the other
// pass, get an ID past the parameters', and the processor passes them over.
class EventChanges final : public edition::BlockChanges {
public:
    EventChanges(const EditorEvent* editor, int32_t editorCount, const clap_input_events_t* in)
        : editor_(editor), editorCount_(editorCount), in_(in) {}

    int32_t listCount() override { return 3; }
    int32_t pointCount(int32_t list) override {
        if (list == 0)
            return editorCount_;
        if (in_ == nullptr || in_->size == nullptr)
            return 0;
        const uint32_t size = in_->size(in_);
        return size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(size);
    }
    bool point(int32_t list, int32_t index, int32_t& offset, uint32_t& id, double& value) override {
        id = edition::kNumParameters;
        if (list == 0) {
            const EditorEvent& event = editor_[index];
            offset = 0;
            if (event.kind == EditorEvent::kValue) {
                id = event.id;
                value = event.value;
            }
            return true;
        }
        const clap_event_header_t* header = in_->get(in_, static_cast<uint32_t>(index));
        if (header == nullptr)
            return false;
        offset = header->time > INT32_MAX ? INT32_MAX : static_cast<int32_t>(header->time);
        if (header->space_id == CLAP_CORE_EVENT_SPACE_ID && header->type == CLAP_EVENT_PARAM_VALUE &&
            header->size >= sizeof(clap_event_param_value_t)) {
            const auto* event = reinterpret_cast<const clap_event_param_value_t*>(header);
            const bool programPass = list == 1;
            if (event->param_id < static_cast<clap_id>(edition::kNumParameters) &&
                (event->param_id == edition::kProgramId) == programPass) {
                id = event->param_id;
                value = Normalized(id, event->value);
            }
        }
        return true;
    }

private:
    const EditorEvent* editor_;
    int32_t editorCount_;
    const clap_input_events_t* in_;
};

void PushValue(const clap_output_events_t* out, uint32_t time, clap_id id, double value) {
    clap_event_param_value_t event{};
    event.header.size = sizeof event;
    event.header.time = time;
    event.header.space_id = CLAP_CORE_EVENT_SPACE_ID;
    event.header.type = CLAP_EVENT_PARAM_VALUE;
    event.param_id = id;
    event.note_id = -1;
    event.port_index = event.channel = event.key = -1;
    event.value = value;
    out->try_push(out, &event.header);
}

void PushGesture(const clap_output_events_t* out, uint16_t type, clap_id id) {
    clap_event_param_gesture_t event{};
    event.header.size = sizeof event;
    event.header.space_id = CLAP_CORE_EVENT_SPACE_ID;
    event.header.type = type;
    event.param_id = id;
    out->try_push(out, &event.header);
}

int64_t ReadPiece(void* stream, unsigned char* out, size_t size) {
    const auto* in = static_cast<const clap_istream_t*>(stream);
    return in->read(in, out, size);
}

}  // namespace

// ---------------------------------------------------------------------------
// The editor's queue

bool EditorEventQueue::push(const EditorEvent& event) {
    const uint32_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) == kSize)
        return false;
    events_[tail % kSize] = event;
    tail_.store(tail + 1, std::memory_order_release);
    return true;
}

bool EditorEventQueue::pop(EditorEvent& event) {
    const uint32_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire))
        return false;
    event = events_[head % kSize];
    head_.store(head + 1, std::memory_order_release);
    return true;
}

// ---------------------------------------------------------------------------
// The plug-in

ClapPlugin::ClapPlugin(const clap_host_t* host) : host_(host), followed_(processor_.savedState()) {
    FillPlugin(plugin_, this);
    controller_.takeState(followed_);
}

ClapPlugin::~ClapPlugin() {
    if (gui_ != nullptr)
        DestroyGui(gui_);
}

// The host's extensions may be asked for from init on, not before.
bool ClapPlugin::init() {
    hostParams_ = static_cast<const clap_host_params_t*>(host_->get_extension(host_, CLAP_EXT_PARAMS));
    threadCheck_ = static_cast<const clap_host_thread_check_t*>(host_->get_extension(host_, CLAP_EXT_THREAD_CHECK));
    if (hostParams_ != nullptr && (hostParams_->rescan == nullptr || hostParams_->request_flush == nullptr))
        hostParams_ = nullptr;
    if (threadCheck_ != nullptr && (threadCheck_->is_main_thread == nullptr || threadCheck_->is_audio_thread == nullptr))
        threadCheck_ = nullptr;
    checkMainThread();
    return true;
}

void ClapPlugin::checkMainThread() const {
#ifndef NDEBUG
    if (threadCheck_ != nullptr)
        assert(threadCheck_->is_main_thread(host_) && "a main-thread call on another thread");
#endif
}

void ClapPlugin::checkAudioThread() const {
#ifndef NDEBUG
    if (threadCheck_ != nullptr)
        assert(threadCheck_->is_audio_thread(host_) && "an audio-thread call on another thread");
#endif
}

// The band design takes rates from 8 to 768 kHz; the engine takes blocks
// of any size, so the sizes only have to make sense.
bool ClapPlugin::activate(double rate, uint32_t minFrames, uint32_t maxFrames) {
    checkMainThread();
    if (maxFrames == 0 || minFrames > maxFrames || !processor_.setSampleRate(rate))
        return false;
    processor_.activate();
    return true;
}

bool ClapPlugin::startProcessing() {
    checkAudioThread();
    processing_.store(true, std::memory_order_relaxed);
    return true;
}

void ClapPlugin::stopProcessing() {
    checkAudioThread();
    processing_.store(false, std::memory_order_relaxed);
}

// As after a seek: the bands start from silence.
void ClapPlugin::reset() {
    checkAudioThread();
    processor_.activate();
}

clap_process_status ClapPlugin::process(const clap_process_t& block) {
    checkAudioThread();
    const int32_t frames = block.frames_count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(block.frames_count);
    const float* const* in = nullptr;
    float* const* out = nullptr;
    bool inputSilent = false, wide = false;
    if (block.audio_inputs_count >= 1 && block.audio_inputs != nullptr) {
        const clap_audio_buffer_t& input = block.audio_inputs[0];
        if (Stereo32(input)) {
            in = input.data32;
            // Constant is not silent: the constant must be zero.
            inputSilent = frames > 0 && (input.constant_mask & 3) == 3 && in[0][0] == 0.0f && in[1][0] == 0.0f;
        } else if (input.data32 == nullptr && input.data64 != nullptr) {
            wide = true;
        }
    }
    clap_audio_buffer_t* output =
        block.audio_outputs_count >= 1 && block.audio_outputs != nullptr ? block.audio_outputs : nullptr;
    if (output != nullptr) {
        if (Stereo32(*output))
            out = output->data32;
        else if (output->data32 == nullptr && output->data64 != nullptr)
            wide = true;
    }
    // The ports are 32-bit only: a host that hands over 64-bit buffers broke
    // the agreement. Its events still count; its output is silence, and
    // nothing is converted.
    if (wide)
        in = nullptr, out = nullptr;
    const float* keyChannels[2] = {nullptr, nullptr};
    const bool haveKey = KeyChannels(block, keyChannels);
    const edition::Processor::Result result =
        run(in, out, frames, inputSilent, haveKey ? keyChannels : nullptr, block.in_events, block.out_events);
    if (out != nullptr)
        output->constant_mask = result.silentChannels;
    if (!wide)
        return CLAP_PROCESS_CONTINUE;
    if (output != nullptr && output->data64 != nullptr) {
        for (uint32_t c = 0; c < output->channel_count && c < 64; ++c)
            if (output->data64[c] != nullptr)
                std::memset(output->data64[c], 0, sizeof(double) * static_cast<size_t>(frames));
        output->constant_mask = output->channel_count >= 64 ? ~uint64_t{0} : (uint64_t{1} << output->channel_count) - 1;
    }
    return CLAP_PROCESS_ERROR;
}

void ClapPlugin::flush(const clap_input_events_t* in, const clap_output_events_t* out) {
    run(nullptr, nullptr, 0, false, nullptr, in, out);
}

edition::Processor::Result ClapPlugin::run(const float* const* in, float* const* out, int32_t frames,
                                           bool inputSilent, const float* const* key,
                                           const clap_input_events_t* inEvents,
                                           const clap_output_events_t* outEvents) {
    int32_t taken = 0, values = 0;
    while (taken < kMaxEditorEvents && editorEvents_.pop(taken_[taken])) {
        if (taken_[taken].kind == EditorEvent::kValue)
            ++values;
        ++taken;
    }
    const bool events = inEvents != nullptr && inEvents->get != nullptr;
    EventChanges changes(taken_, taken, events ? inEvents : nullptr);
    const edition::Processor::Result result = processor_.process(in, out, frames, inputSilent, &changes, key);
    // The processor published what it applied: the controller may follow.
    if (values > 0)
        pendingEdits_.fetch_sub(values, std::memory_order_release);

    if (outEvents == nullptr || outEvents->try_push == nullptr)
        return result;
    // CLAP hosts hear of the plug-in's own edits only from its output.
    for (int32_t i = 0; i < taken; ++i) {
        const EditorEvent& event = taken_[i];
        if (event.kind == EditorEvent::kValue)
            PushValue(outEvents, 0, event.id, edition::PlainFromNormalized(event.id, event.value));
        else
            PushGesture(outEvents,
                        event.kind == EditorEvent::kBegin ? CLAP_EVENT_PARAM_GESTURE_BEGIN : CLAP_EVENT_PARAM_GESTURE_END,
                        event.id);
    }
    // A program changes the 22 values behind the host's back: they go out
    // too, so that the host shows them without being called back.
    if (result.programChanged) {
        const uint32_t time = result.rendered ? static_cast<uint32_t>(frames - 1) : 0;
        for (int i = 0; i < edition::kNumSound; ++i)
            PushValue(outEvents, time, static_cast<clap_id>(i), processor_.soundValue(i));
    }
    return result;
}

// ---------------------------------------------------------------------------
// The controller side (main thread)

void ClapPlugin::follow() {
    if (pendingEdits_.load(std::memory_order_acquire) != 0)
        return;  // the editor's edits first reach the processor
    const edition::State now = processor_.savedState();
    if (Same(now, followed_))
        return;
    followed_ = now;
    controller_.takeState(now);
}

bool ClapPlugin::paramValue(clap_id id, double& value) {
    checkMainThread();
    if (id >= static_cast<clap_id>(edition::kNumParameters))
        return false;
    follow();
    value = edition::PlainFromNormalized(id, controller_.value(id));
    return true;
}

float ClapPlugin::editorValue(int index) {
    if (index < 0 || index >= edition::kNumSound)
        return 0.0f;
    follow();
    return static_cast<float>(controller_.value(static_cast<unsigned>(index)));
}

int ClapPlugin::editorKeySource() {
    follow();
    return edition::KeyFromNormalized(controller_.value(edition::kKeyId));
}

bool ClapPlugin::editorActivity(float level[16], float gain[16]) { return processor_.takeActivity(level, gain); }

int ClapPlugin::editorProgram() {
    follow();
    return edition::ProgramFromNormalized(controller_.value(edition::kProgramId));
}

// Tells the host what waited in the controller's notices, now that it holds
// nothing of its own (see edition::DeferredNotices).
void ClapPlugin::onMainThread() {
    checkMainThread();
    follow();
    const uint32_t notices = controller_.takeNotices();
    if (hostParams_ != nullptr && (notices & edition::DeferredNotices::kValuesChanged) != 0)
        hostParams_->rescan(host_, CLAP_PARAM_RESCAN_VALUES);
}

void ClapPlugin::queue(const EditorEvent& event) {
    const bool value = event.kind == EditorEvent::kValue;
    // Counted before it is queued: the consumer counts down after taking it.
    if (value)
        pendingEdits_.fetch_add(1, std::memory_order_relaxed);
    if (!editorEvents_.push(event) && value)
        pendingEdits_.fetch_sub(1, std::memory_order_relaxed);
    if (hostParams_ != nullptr && !processing_.load(std::memory_order_relaxed))
        hostParams_->request_flush(host_);
}

void ClapPlugin::setParameterAutomated(int index, float value) {
    if (index < 0 || index >= edition::kNumSound)
        return;
    const double held = controller_.setFromEditor(index, value);
    queue({EditorEvent::kValue, static_cast<uint32_t>(index), held});
}

void ClapPlugin::beginGesture(int index) {
    if (index >= 0 && index < edition::kNumSound)
        queue({EditorEvent::kBegin, static_cast<uint32_t>(index), 0.0});
}

void ClapPlugin::endGesture(int index) {
    if (index >= 0 && index < edition::kNumSound)
        queue({EditorEvent::kEnd, static_cast<uint32_t>(index), 0.0});
}

void ClapPlugin::keySourceChosen(int choice) {
    if (choice < 0 || choice >= edition::kKeyChoices)
        return;
    const double value = edition::NormalizedFromKey(choice);
    controller_.setValue(edition::kKeyId, value);
    queue({EditorEvent::kBegin, edition::kKeyId, 0.0});
    queue({EditorEvent::kValue, edition::kKeyId, value});
    queue({EditorEvent::kEnd, edition::kKeyId, 0.0});
}

// As the Program parameter does: the controller shows the program's values
// at once, the processor takes it at its next block or flush, and the host
// hears of the new values from on_main_thread.
bool ClapPlugin::chooseProgram(int program) {
    checkMainThread();
    if (program < 0 || program >= params::kNumPrograms)
        return false;
    const double value = edition::NormalizedFromProgram(program);
    controller_.setValue(edition::kProgramId, value);
    queue({EditorEvent::kValue, edition::kProgramId, value});
    host_->request_callback(host_);
    return true;
}

// ---------------------------------------------------------------------------
// State

bool ClapPlugin::save(const clap_ostream_t& stream) {
    checkMainThread();
    unsigned char bytes[edition::kStateSize];
    edition::WriteState(processor_.savedState(), bytes);
    // The host's stream may take the bytes in pieces of any size.
    for (size_t done = 0; done < sizeof bytes;) {
        const int64_t wrote = stream.write(&stream, bytes + done, sizeof bytes - done);
        if (wrote <= 0 || static_cast<uint64_t>(wrote) > sizeof bytes - done)
            return false;
        done += static_cast<size_t>(wrote);
    }
    return true;
}

// Taken whole or not at all: a refused state leaves the previous one.
bool ClapPlugin::load(const clap_istream_t& stream) {
    checkMainThread();
    edition::State state{};
    if (stream.read == nullptr || !edition::ReadStateFrom(ReadPiece, const_cast<clap_istream_t*>(&stream), state))
        return false;
    // A stream that fails just after the state's bytes failed all the same.
    unsigned char after = 0;
    if (stream.read(&stream, &after, 1) < 0)
        return false;
    processor_.loadState(state);
    controller_.takeState(state);
    followed_ = state;
    return true;
}

}  // namespace clapedition
