#include "ClapHost.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "HostFloatingPoint.h"
#include "TestHost.h"

#if defined(_WIN32)
#include <windows.h>
#else
#if defined(HALVORINE_CLAP_X11)
#include <X11/Xlib.h>
#endif
#include <dlfcn.h>
#include <poll.h>
#include <pthread.h>
#endif

namespace claphost {

namespace {

// The calling thread (the Windows builds' thread model has no std::thread).
uintptr_t ThisThread() {
#if defined(_WIN32)
    return GetCurrentThreadId();
#else
    return static_cast<uintptr_t>(pthread_self());
#endif
}

const uintptr_t g_mainThread = ThisThread();

Host& Of(const clap_host_t* host) { return *static_cast<Host*>(host->host_data); }

// Main-thread-only host calls note where they came from.
void OnMain(Host& host) {
    if (ThisThread() != g_mainThread)
        host.mainThreadOnlyCallOffMain = true;
}

}  // namespace

// --- Module ------------------------------------------------------------------

namespace {

// Loaded modules, never freed: deinit runs from an exit handler registered
// after each load, so before the module's own static destructors (exit
// handlers run in reverse order), while its objects still live.
std::map<std::string, Module*>& Loaded() {
    static auto* modules = new std::map<std::string, Module*>;
    return *modules;
}

void DeinitAll() {
    for (auto& m : Loaded())
        m.second->deinit();
}

}  // namespace

Module& Module::load(const std::string& path) {
    Module*& slot = Loaded()[path];
    if (slot == nullptr) {
        slot = new Module(path);
        std::atexit(&DeinitAll);
    }
    return *slot;
}

Module& Module::underTest() {
    std::string path = HALVORINE_CLAP_MODULE;
    const auto& args = testhost::CommandLine();
    for (size_t i = 1; i + 1 < args.size(); ++i)
        if (args[i] == "--clap")
            path = args[i + 1];
    return load(path);
}

Module::Module(const std::string& path) : path_(path) {
#if defined(_WIN32)
    HMODULE handle = LoadLibraryA(path.c_str());
    if (handle == nullptr) {
        error_ = "cannot load " + path;
        return;
    }
    handle_ = handle;
    entry_ = reinterpret_cast<const clap_plugin_entry_t*>(
        reinterpret_cast<void*>(GetProcAddress(handle, kEntrySymbol)));
#else
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        error_ = "cannot load " + path + ": " + dlerror();
        return;
    }
    entry_ = static_cast<const clap_plugin_entry_t*>(dlsym(handle_, kEntrySymbol));
#endif
    if (entry_ == nullptr) {
        error_ = "no clap_entry in " + path;
        return;
    }
    bool initialised = false;
    {
        hostfp::UnmaskedCall call("clap_entry.init");
        initialised = entry_->init(path.c_str());
    }
    if (!initialised) {
        error_ = "clap_entry.init failed";
        entry_ = nullptr;
        return;
    }
    hostfp::UnmaskedCall call("clap_entry.get_factory");
    factory_ = static_cast<const clap_plugin_factory_t*>(entry_->get_factory(CLAP_PLUGIN_FACTORY_ID));
    if (factory_ == nullptr)
        error_ = "no plug-in factory";
}

void Module::deinit() {
    if (entry_ == nullptr)
        return;
    hostfp::UnmaskedCall call("clap_entry.deinit");
    entry_->deinit();
    entry_ = nullptr;
    factory_ = nullptr;
    // Not unloaded: a plug-in's threads may outlive it.
}

std::string Module::firstId() const {
    if (factory_ == nullptr)
        return "";
    hostfp::UnmaskedCall call("get_plugin_descriptor");
    const clap_plugin_descriptor_t* d = factory_->get_plugin_count(factory_) > 0
                                            ? factory_->get_plugin_descriptor(factory_, 0)
                                            : nullptr;
    return d != nullptr && d->id != nullptr ? d->id : "";
}

// --- Host --------------------------------------------------------------------

struct HostCallbacks {
    static void CLAP_CALL requestRestart(const clap_host_t* h) { ++Of(h).restartRequests; }
    static void CLAP_CALL requestProcess(const clap_host_t* h) { ++Of(h).processRequests; }
    static void CLAP_CALL requestCallback(const clap_host_t* h) { ++Of(h).callbackRequests; }

    static void CLAP_CALL log(const clap_host_t* h, clap_log_severity severity, const char* msg) {
        Host& host = Of(h);
        const std::string line = std::to_string(severity) + ": " + (msg != nullptr ? msg : "(null)");
        while (host.logLock_.test_and_set(std::memory_order_acquire)) {
        }
        host.logs_.push_back(line);
        host.logLock_.clear(std::memory_order_release);
    }
    static bool CLAP_CALL isMainThread(const clap_host_t* h) {
        return ThisThread() == g_mainThread && !Of(h).inAudioCall;
    }
    static bool CLAP_CALL isAudioThread(const clap_host_t* h) {
        return ThisThread() == g_mainThread && Of(h).inAudioCall;
    }

    static void CLAP_CALL rescan(const clap_host_t* h, uint32_t) {
        OnMain(Of(h));
        ++Of(h).rescans;
    }
    static void CLAP_CALL clear(const clap_host_t* h, clap_id, uint32_t) { OnMain(Of(h)); }
    static void CLAP_CALL requestFlush(const clap_host_t* h) { ++Of(h).flushRequests; }
    static void CLAP_CALL markDirty(const clap_host_t* h) {
        OnMain(Of(h));
        ++Of(h).dirtyMarks;
    }
    static void CLAP_CALL latencyChanged(const clap_host_t* h) {
        OnMain(Of(h));
        ++Of(h).latencyChanges;
    }
    static void CLAP_CALL tailChanged(const clap_host_t* h) { ++Of(h).tailChanges; }

    static void CLAP_CALL resizeHintsChanged(const clap_host_t*) {}
    static bool CLAP_CALL requestResize(const clap_host_t* h, uint32_t, uint32_t) {
        ++Of(h).resizeRequests;
        return false;
    }
    static bool CLAP_CALL requestShow(const clap_host_t* h) {
        ++Of(h).showRequests;
        return false;
    }
    static bool CLAP_CALL requestHide(const clap_host_t* h) {
        ++Of(h).hideRequests;
        return false;
    }
    static void CLAP_CALL closed(const clap_host_t* h, bool) { ++Of(h).closedNotices; }

    static bool CLAP_CALL registerTimer(const clap_host_t* h, uint32_t period, clap_id* id) {
        Host& host = Of(h);
        OnMain(host);
        static clap_id next = 1;
        if (id == nullptr)
            return false;
        *id = next++;
        host.timers.push_back({*id, period});
        ++host.timerRegistrations;
        return true;
    }
    static bool CLAP_CALL unregisterTimer(const clap_host_t* h, clap_id id) {
        Host& host = Of(h);
        OnMain(host);
        const auto it = std::find_if(host.timers.begin(), host.timers.end(), [&](const Host::Timer& t) {
            return t.id == id;
        });
        if (it == host.timers.end())
            return false;
        host.timers.erase(it);
        return true;
    }
    static bool CLAP_CALL registerFd(const clap_host_t* h, int fd, uint32_t flags) {
        Host& host = Of(h);
        OnMain(host);
        if (fd < 0 || host.fds.count(fd) != 0)
            return false;
        host.fds[fd] = flags;
        ++host.fdRegistrations;
        return true;
    }
    static bool CLAP_CALL modifyFd(const clap_host_t* h, int fd, uint32_t flags) {
        Host& host = Of(h);
        OnMain(host);
        if (host.fds.count(fd) == 0)
            return false;
        host.fds[fd] = flags;
        return true;
    }
    static bool CLAP_CALL unregisterFd(const clap_host_t* h, int fd) {
        Host& host = Of(h);
        OnMain(host);
        return host.fds.erase(fd) == 1;
    }

    static uint32_t CLAP_CALL inSize(const clap_input_events_t* list) {
        return static_cast<uint32_t>(static_cast<const InputEvents*>(list->ctx)->events_.size());
    }
    static const clap_event_header_t* CLAP_CALL inGet(const clap_input_events_t* list, uint32_t index) {
        const auto& events = static_cast<const InputEvents*>(list->ctx)->events_;
        return index < events.size() ? &events[index].header : nullptr;
    }
    static bool CLAP_CALL outPush(const clap_output_events_t* list, const clap_event_header_t* event) {
        if (event == nullptr || event->size < sizeof(clap_event_header_t))
            return false;
        const auto* bytes = reinterpret_cast<const unsigned char*>(event);
        static_cast<OutputEvents*>(list->ctx)->events.emplace_back(bytes, bytes + event->size);
        return true;
    }

    static int64_t CLAP_CALL write(const clap_ostream_t* s, const void* buffer, uint64_t size) {
        auto& o = *static_cast<OStream*>(s->ctx);
        if (o.fail)
            return -1;
        const uint64_t n = std::min(size, o.piece);
        const auto* p = static_cast<const unsigned char*>(buffer);
        o.bytes.insert(o.bytes.end(), p, p + n);
        return static_cast<int64_t>(n);
    }
    static int64_t CLAP_CALL read(const clap_istream_t* s, void* buffer, uint64_t size) {
        auto& i = *static_cast<IStream*>(s->ctx);
        if (i.fail)
            return -1;
        const uint64_t n = std::min<uint64_t>({size, i.piece, i.bytes.size() - i.position});
        if (n > 0)
            std::memcpy(buffer, i.bytes.data() + i.position, static_cast<size_t>(n));
        i.position += static_cast<size_t>(n);
        return static_cast<int64_t>(n);
    }
};

namespace {

const clap_host_log_t kLog{&HostCallbacks::log};
const clap_host_thread_check_t kThreadCheck{&HostCallbacks::isMainThread, &HostCallbacks::isAudioThread};
const clap_host_params_t kParams{&HostCallbacks::rescan, &HostCallbacks::clear, &HostCallbacks::requestFlush};
const clap_host_state_t kState{&HostCallbacks::markDirty};
const clap_host_latency_t kLatency{&HostCallbacks::latencyChanged};
const clap_host_tail_t kTail{&HostCallbacks::tailChanged};
const clap_host_gui_t kGui{&HostCallbacks::resizeHintsChanged, &HostCallbacks::requestResize,
                           &HostCallbacks::requestShow, &HostCallbacks::requestHide, &HostCallbacks::closed};
const clap_host_timer_support_t kTimers{&HostCallbacks::registerTimer, &HostCallbacks::unregisterTimer};
const clap_host_posix_fd_support_t kFds{&HostCallbacks::registerFd, &HostCallbacks::modifyFd,
                                        &HostCallbacks::unregisterFd};

}  // namespace

Host::Host() {
    host_.clap_version = CLAP_VERSION;
    host_.host_data = this;
    host_.name = "Halvorine test host";
    host_.vendor = "Pellucid";
    host_.url = "";
    host_.version = "1";
    host_.get_extension = &Host::getExtension;
    host_.request_restart = &HostCallbacks::requestRestart;
    host_.request_process = &HostCallbacks::requestProcess;
    host_.request_callback = &HostCallbacks::requestCallback;
}

const void* CLAP_CALL Host::getExtension(const clap_host_t*, const char* id) {
    if (id == nullptr)
        return nullptr;
    const std::pair<const char*, const void*> extensions[] = {
        {CLAP_EXT_LOG, &kLog},       {CLAP_EXT_THREAD_CHECK, &kThreadCheck}, {CLAP_EXT_PARAMS, &kParams},
        {CLAP_EXT_STATE, &kState},   {CLAP_EXT_LATENCY, &kLatency},          {CLAP_EXT_TAIL, &kTail},
        {CLAP_EXT_GUI, &kGui},       {CLAP_EXT_TIMER_SUPPORT, &kTimers},
#if !defined(_WIN32)
        {CLAP_EXT_POSIX_FD_SUPPORT, &kFds},
#endif
    };
    for (const auto& e : extensions)
        if (std::strcmp(id, e.first) == 0)
            return e.second;
    return nullptr;
}

std::vector<std::string> Host::logs() {
    while (logLock_.test_and_set(std::memory_order_acquire)) {
    }
    std::vector<std::string> copy = logs_;
    logLock_.clear(std::memory_order_release);
    return copy;
}

// --- Events and streams ------------------------------------------------------

InputEvents::InputEvents() {
    list_.ctx = this;
    list_.size = &HostCallbacks::inSize;
    list_.get = &HostCallbacks::inGet;
}

void InputEvents::add(clap_id param, uint32_t time, double value) {
    clap_event_param_value_t e{};
    e.header.size = sizeof e;
    e.header.time = time;
    e.header.space_id = CLAP_CORE_EVENT_SPACE_ID;
    e.header.type = CLAP_EVENT_PARAM_VALUE;
    e.param_id = param;
    e.note_id = -1;
    e.port_index = e.channel = e.key = -1;
    e.value = value;
    const auto at = std::upper_bound(events_.begin(), events_.end(), time,
                                     [](uint32_t t, const clap_event_param_value_t& x) { return t < x.header.time; });
    events_.insert(at, e);
}

OutputEvents::OutputEvents() {
    list_.ctx = this;
    list_.try_push = &HostCallbacks::outPush;
}

std::vector<clap_event_param_value_t> OutputEvents::values() const {
    std::vector<clap_event_param_value_t> out;
    for (const auto& bytes : events) {
        clap_event_header_t header{};
        std::memcpy(&header, bytes.data(), sizeof header);
        if (header.space_id == CLAP_CORE_EVENT_SPACE_ID && header.type == CLAP_EVENT_PARAM_VALUE &&
            bytes.size() >= sizeof(clap_event_param_value_t)) {
            clap_event_param_value_t e{};
            std::memcpy(&e, bytes.data(), sizeof e);
            out.push_back(e);
        }
    }
    return out;
}

OStream::OStream() {
    stream_.ctx = this;
    stream_.write = &HostCallbacks::write;
}

IStream::IStream(std::vector<unsigned char> b, uint64_t p) : bytes(std::move(b)), piece(p) {
    stream_.ctx = this;
    stream_.read = &HostCallbacks::read;
}

// --- Plugin ------------------------------------------------------------------

Plugin::Plugin(Module& module, const std::string& id) {
    if (!module.loaded())
        return;
    const std::string which = id.empty() ? module.firstId() : id;
    const clap_plugin_t* p = nullptr;
    {
        hostfp::UnmaskedCall call("create_plugin");
        p = module.factory()->create_plugin(module.factory(), host.get(), which.c_str());
    }
    if (p == nullptr)
        return;
    bool initialised = false;
    {
        hostfp::UnmaskedCall call("init");
        initialised = p->init(p);
    }
    if (!initialised) {
        hostfp::UnmaskedCall call("destroy");
        p->destroy(p);
        return;
    }
    plugin_ = p;
    params_ = static_cast<const clap_plugin_params_t*>(extension(CLAP_EXT_PARAMS));
    state_ = static_cast<const clap_plugin_state_t*>(extension(CLAP_EXT_STATE));
    ports_ = static_cast<const clap_plugin_audio_ports_t*>(extension(CLAP_EXT_AUDIO_PORTS));
    gui_ = static_cast<const clap_plugin_gui_t*>(extension(CLAP_EXT_GUI));
}

Plugin::~Plugin() {
    if (plugin_ == nullptr)
        return;
    if (guiCreated_)
        guiDestroy();
    deactivate();
    hostfp::UnmaskedCall call("destroy");
    plugin_->destroy(plugin_);
}

const void* Plugin::extension(const char* id) {
    hostfp::UnmaskedCall call("get_extension");
    return plugin_->get_extension(plugin_, id);
}

bool Plugin::activate(double rate, uint32_t minFrames, uint32_t maxFrames) {
    deactivate();
    {
        hostfp::UnmaskedCall call("activate", static_cast<long>(maxFrames));
        active_ = plugin_->activate(plugin_, rate, minFrames, maxFrames);
    }
    if (!active_)
        return false;
    steadyTime_ = 0;
    return startProcessing();
}

bool Plugin::startProcessing() {
    hostfp::UnmaskedCall call("start_processing");
    host.inAudioCall = true;
    processing_ = plugin_->start_processing(plugin_);
    host.inAudioCall = false;
    return processing_;
}

void Plugin::stopProcessing() {
    if (!processing_)
        return;
    hostfp::UnmaskedCall call("stop_processing");
    host.inAudioCall = true;
    plugin_->stop_processing(plugin_);
    host.inAudioCall = false;
    processing_ = false;
}

void Plugin::deactivate() {
    stopProcessing();
    if (active_) {
        hostfp::UnmaskedCall call("deactivate");
        plugin_->deactivate(plugin_);
        active_ = false;
    }
}

clap_process_status Plugin::process(float** in, float** out, uint32_t frames, const InputEvents* events,
                                    OutputEvents* outEvents) {
    static const InputEvents kNoEvents;
    OutputEvents discarded;
    // The main ports take the test's stereo pair (a mono port its left
    // channel); any further port, such as a side chain, reads the input's
    // left channel and writes into scratch.
    std::vector<clap_audio_buffer_t> buffers[2];
    std::vector<float*> channels[2];
    for (int side = 0; side < 2; ++side) {
        const bool input = side == 0;
        const uint32_t ports = ports_ != nullptr ? audioPorts(input) : 1;
        std::vector<uint32_t> counts(ports, 2);
        for (uint32_t i = 0; i < ports && ports_ != nullptr; ++i) {
            clap_audio_port_info_t info{};
            counts[i] = audioPort(i, input, info) ? info.channel_count : 0;
            if (input && i == 1 && keyChannels >= 0)
                counts[i] = static_cast<uint32_t>(keyChannels);
        }
        size_t total = 0;
        for (uint32_t c : counts)
            total += c;
        channels[side].reserve(total);
        for (uint32_t i = 0; i < ports; ++i) {
            float** first = channels[side].data() + channels[side].size();
            for (uint32_t c = 0; c < counts[i]; ++c) {
                if (i == 0 && c < 2)
                    channels[side].push_back(input ? in[c] : out[c]);
                else if (input && i == 1 && keyChannels >= 0)
                    channels[side].push_back(key[c]);
                else if (input)
                    channels[side].push_back(in[0]);
                else {
                    scratch_.emplace_back(frames);
                    channels[side].push_back(scratch_.back().data());
                }
            }
            buffers[side].push_back({counts[i] > 0 ? first : nullptr, nullptr, counts[i], 0, 0});
        }
    }
    clap_process_t p{};
    p.steady_time = steadyTime_;
    p.frames_count = frames;
    p.audio_inputs = buffers[0].data();
    p.audio_outputs = buffers[1].data();
    p.audio_inputs_count = static_cast<uint32_t>(buffers[0].size());
    p.audio_outputs_count = static_cast<uint32_t>(buffers[1].size());
    p.in_events = (events != nullptr ? events : &kNoEvents)->get();
    p.out_events = (outEvents != nullptr ? outEvents : &discarded)->get();
    clap_process_status status;
    {
        hostfp::UnmaskedCall call("process", static_cast<long>(frames));
        host.inAudioCall = true;
        status = plugin_->process(plugin_, &p);
        host.inAudioCall = false;
    }
    scratch_.clear();
    steadyTime_ += frames;
    return status;
}

std::vector<float> Plugin::render(double rate, uint32_t block, const std::vector<float>& left,
                                  const std::vector<float>& right, const InputEvents* first) {
    const size_t frames = left.size();
    std::vector<float> out(2 * frames);
    if (!activate(rate, 1, block))
        return {};
    for (size_t at = 0; at < frames; at += block) {
        const auto n = static_cast<uint32_t>(std::min<size_t>(block, frames - at));
        float* in[2] = {const_cast<float*>(left.data()) + at, const_cast<float*>(right.data()) + at};
        float* o[2] = {out.data() + at, out.data() + frames + at};
        process(in, o, n, at == 0 ? first : nullptr);
    }
    return out;
}

uint32_t Plugin::paramCount() {
    hostfp::UnmaskedCall call("params.count");
    return params_ != nullptr ? params_->count(plugin_) : 0;
}

bool Plugin::paramInfo(uint32_t index, clap_param_info_t& info) {
    hostfp::UnmaskedCall call("params.get_info", index);
    return params_ != nullptr && params_->get_info(plugin_, index, &info);
}

bool Plugin::paramValue(clap_id id, double& value) {
    hostfp::UnmaskedCall call("params.get_value", id);
    return params_ != nullptr && params_->get_value(plugin_, id, &value);
}

bool Plugin::valueToText(clap_id id, double value, std::string& text) {
    char buffer[CLAP_NAME_SIZE];
    std::memset(buffer, 'x', sizeof buffer);
    hostfp::UnmaskedCall call("params.value_to_text", id);
    if (params_ == nullptr || !params_->value_to_text(plugin_, id, value, buffer, sizeof buffer))
        return false;
    const void* end = std::memchr(buffer, 0, sizeof buffer);
    if (end == nullptr)
        return false;  // unterminated: a fault the caller sees as a refusal
    text.assign(buffer, static_cast<size_t>(static_cast<const char*>(end) - buffer));
    return true;
}

bool Plugin::textToValue(clap_id id, const std::string& text, double& value) {
    hostfp::UnmaskedCall call("params.text_to_value", id);
    return params_ != nullptr && params_->text_to_value(plugin_, id, text.c_str(), &value);
}

void Plugin::flush(const InputEvents& in, OutputEvents& out) {
    hostfp::UnmaskedCall call("params.flush");
    if (params_ != nullptr)
        params_->flush(plugin_, in.get(), out.get());
}

bool Plugin::save(OStream& stream) {
    hostfp::UnmaskedCall call("state.save");
    return state_ != nullptr && state_->save(plugin_, stream.get());
}

bool Plugin::load(IStream& stream) {
    hostfp::UnmaskedCall call("state.load");
    return state_ != nullptr && state_->load(plugin_, stream.get());
}

std::vector<unsigned char> Plugin::state(uint64_t piece) {
    OStream stream;
    stream.piece = piece;
    return save(stream) ? stream.bytes : std::vector<unsigned char>{};
}

uint32_t Plugin::audioPorts(bool input) {
    hostfp::UnmaskedCall call("audio_ports.count");
    return ports_ != nullptr ? ports_->count(plugin_, input) : 0;
}

bool Plugin::audioPort(uint32_t index, bool input, clap_audio_port_info_t& info) {
    hostfp::UnmaskedCall call("audio_ports.get");
    return ports_ != nullptr && ports_->get(plugin_, index, input, &info);
}

bool Plugin::guiSupported(const char* api) {
    hostfp::UnmaskedCall call("gui.is_api_supported");
    return gui_ != nullptr && gui_->is_api_supported(plugin_, api, false);
}

bool Plugin::guiCreate(const char* api) {
    hostfp::UnmaskedCall call("gui.create");
    guiCreated_ = gui_ != nullptr && gui_->create(plugin_, api, false);
    return guiCreated_;
}

bool Plugin::guiSize(uint32_t& width, uint32_t& height) {
    hostfp::UnmaskedCall call("gui.get_size");
    return gui_ != nullptr && gui_->get_size(plugin_, &width, &height);
}

bool Plugin::guiSetParent(const char* api, uintptr_t parent) {
    clap_window_t window{};
    window.api = api;
    if (std::strcmp(api, CLAP_WINDOW_API_X11) == 0)
        window.x11 = static_cast<unsigned long>(parent);
    else
        window.ptr = reinterpret_cast<void*>(parent);
    hostfp::UnmaskedCall call("gui.set_parent");
    return gui_ != nullptr && gui_->set_parent(plugin_, &window);
}

bool Plugin::guiShow() {
    hostfp::UnmaskedCall call("gui.show");
    return gui_ != nullptr && gui_->show(plugin_);
}

bool Plugin::guiHide() {
    hostfp::UnmaskedCall call("gui.hide");
    return gui_ != nullptr && gui_->hide(plugin_);
}

void Plugin::guiDestroy() {
    if (!guiCreated_)
        return;
    guiCreated_ = false;
    hostfp::UnmaskedCall call("gui.destroy");
    gui_->destroy(plugin_);
}

void Plugin::drive(int ms) {
    using Clock = std::chrono::steady_clock;
    const auto timerExt = static_cast<const clap_plugin_timer_support_t*>(extension(CLAP_EXT_TIMER_SUPPORT));
    const auto fdExt = static_cast<const clap_plugin_posix_fd_support_t*>(extension(CLAP_EXT_POSIX_FD_SUPPORT));
    std::map<clap_id, Clock::time_point> last;
    const auto start = Clock::now(), end = start + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        for (; host.callbackRequests > 0; --host.callbackRequests) {
            hostfp::UnmaskedCall call("on_main_thread");
            plugin_->on_main_thread(plugin_);
        }
        // A copy: the plug-in may unregister timers from its own on_timer.
        const std::vector<Host::Timer> timers = host.timers;
        for (const Host::Timer& t : timers) {
            auto it = last.emplace(t.id, start).first;
            if (Clock::now() - it->second < std::chrono::milliseconds(t.period) || timerExt == nullptr)
                continue;
            it->second = Clock::now();
            ++host.timerTicks;
            hostfp::UnmaskedCall call("timer_support.on_timer", static_cast<long>(t.id));
            timerExt->on_timer(plugin_, t.id);
        }
#if defined(_WIN32)
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            hostfp::UnmaskedCall call("window message", static_cast<long>(msg.message));
            DispatchMessageW(&msg);
        }
        Sleep(5);
#else
        std::vector<pollfd> polled;
        for (const auto& fd : host.fds) {
            short events = 0;
            if (fd.second & CLAP_POSIX_FD_READ)
                events |= POLLIN;
            if (fd.second & CLAP_POSIX_FD_WRITE)
                events |= POLLOUT;
            polled.push_back({fd.first, events, 0});
        }
        if (poll(polled.data(), polled.size(), 5) > 0 && fdExt != nullptr)
            for (const pollfd& p : polled) {
                uint32_t flags = 0;
                if (p.revents & POLLIN)
                    flags |= CLAP_POSIX_FD_READ;
                if (p.revents & POLLOUT)
                    flags |= CLAP_POSIX_FD_WRITE;
                if (p.revents & (POLLERR | POLLHUP | POLLNVAL))
                    flags |= CLAP_POSIX_FD_ERROR;
                if (flags == 0 || host.fds.count(p.fd) == 0)
                    continue;
                ++host.fdCalls;
                hostfp::UnmaskedCall call("posix_fd_support.on_fd", p.fd);
                fdExt->on_fd(plugin_, p.fd, flags);
            }
#endif
    }
    (void)fdExt;
}

// --- Host window -------------------------------------------------------------

#if defined(_WIN32)
const char* const HostWindow::kApi = CLAP_WINDOW_API_WIN32;

HostWindow::HostWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"HalvorineClapTestHost";
    RegisterClassW(&wc);
    handle_ = reinterpret_cast<uintptr_t>(CreateWindowExW(0, wc.lpszClassName, L"CLAP host",
                                                          WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640, 480,
                                                          nullptr, nullptr, wc.hInstance, nullptr));
}

HostWindow::~HostWindow() {
    if (handle_ != 0)
        DestroyWindow(reinterpret_cast<HWND>(handle_));
}

int HostWindow::children() const {
    int n = 0;
    for (HWND c = GetWindow(reinterpret_cast<HWND>(handle_), GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT))
        ++n;
    return n;
}
#elif defined(HALVORINE_CLAP_X11)
const char* const HostWindow::kApi = CLAP_WINDOW_API_X11;

namespace {

// One connection for the whole program: the last client to leave makes
// xvfb-run's server start over, refusing connections meanwhile.
Display* SharedDisplay() {
    static Display* dpy = XOpenDisplay(nullptr);
    return dpy;
}

}  // namespace

HostWindow::HostWindow() {
    Display* dpy = SharedDisplay();
    if (dpy == nullptr)
        return;
    handle_ = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 640, 480, 0, 0, 0);
    XMapWindow(dpy, handle_);
    XSync(dpy, False);
}

HostWindow::~HostWindow() {
    if (handle_ != 0) {
        XDestroyWindow(SharedDisplay(), handle_);
        XSync(SharedDisplay(), False);
    }
}

int HostWindow::children() const {
    Display* dpy = SharedDisplay();
    XSync(dpy, False);
    Window root = 0, parent = 0, *list = nullptr;
    unsigned int n = 0;
    if (XQueryTree(dpy, handle_, &root, &parent, &list, &n) == 0)
        return -1;
    if (list != nullptr)
        XFree(list);
    return static_cast<int>(n);
}
#else
const char* const HostWindow::kApi = CLAP_WINDOW_API_X11;  // built without Xlib: never a window
HostWindow::HostWindow() = default;
HostWindow::~HostWindow() = default;
int HostWindow::children() const { return -1; }
#endif

}  // namespace claphost
