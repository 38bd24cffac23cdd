// halvorine: the command-line host. Renders audio files through a VST 2.x
// plug-in (or, with a key, through the CLAP edition), reports what a plug-in
// is, and plays the embedded demo.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "AudioFiles.h"
#include "Batch.h"
#include "ClapRender.h"
#include "Demo.h"
#include "Info.h"
#include "Learn.h"
#include "PluginHost.h"
#include "Render.h"
#include "Snapshot.h"

namespace {

// Exit codes: 0 done, 1 the work failed, 2 the command line is wrong.
// Interrupted by SIGINT, SIGTERM or SIGHUP, it ends by that signal, as a
// program without handlers would, so that a shell loop or a script that
// runs it stops as well; should the signal not end it, 128 + its number.
constexpr int kFailed = 1;
constexpr int kUsage = 2;
// learn, render --learn: the noise held no audio, and nothing was learned.
constexpr int kNothingLearned = 3;

void addPluginOption(CLI::App* command, std::string& plugin) {
    command->add_option("--plugin", plugin, "VST 2.x plug-in library (.so) to load")
        ->default_str("Halvorine.so beside this program, in ../lib/vst or in ~/.vst");
}

// render's: with a key, --plugin names the CLAP module instead.
void addRenderPluginOption(CLI::App* command, std::string& plugin) {
    command->add_option("--plugin", plugin,
                        "VST 2.x plug-in library (.so) to load; with --key or --key-source, the CLAP module (.clap)")
        ->default_str("Halvorine.so beside this program, in ../lib/vst or in ~/.vst; Halvorine.clap beside this "
                      "program, in ../lib/clap, ~/.clap or /usr/lib/clap");
}

void addSettingOptions(CLI::App* command, std::string& program, std::vector<std::string>& sets) {
    command->add_option("--program", program, "program to select first, by name (\"Gated\") or index");
    command->add_option("--set", sets, "set a parameter: NAME=VALUE, by host name (\"Boost\", \"Band 3Gate Level\") "
                                       "or index; VALUE in 0..1 or as the read-out writes it (\"15dB\", \"1.2KHz\"); "
                                       "repeatable")
        ->allow_extra_args(false);
}

// Writes out what is still buffered for standard output and closes it.
// Output to a file or a pipe is buffered, so a full disk or a broken
// device shows only here; answers false with the reason if any of the
// output was lost.
bool finishStandardOutput(std::string& why) {
    errno = 0;
    std::cout.flush();
    if (std::fflush(stdout) != 0 || std::ferror(stdout) || !std::cout.good()) {
        // errno tells the cause when this flush met the error; an error met
        // by an earlier write (a report larger than the buffer, or on a
        // terminal) leaves none behind.
        why = errno != 0 ? std::strerror(errno) : "write error";
        return false;
    }
    // Some file systems report a failed write only when the file is
    // closed. The stream keeps an empty buffer, so nothing writes to the
    // descriptor after this; a descriptor that was never open is no loss.
    if (close(STDOUT_FILENO) != 0 && errno != EBADF) {
        why = std::strerror(errno);
        return false;
    }
    return true;
}

halvorine::Settings toSettings(const std::string& program, const std::vector<std::string>& sets) {
    halvorine::Settings settings;
    settings.program = program;
    for (const std::string& text : sets)
        settings.set.push_back(halvorine::splitAssignment(text));
    return settings;
}

using halvorine::Progress;

Progress::Mode progressMode(const std::string& name) {
    for (int i = 0; i < 3; ++i)
        if (name == Progress::kModeNames[i])
            return static_cast<Progress::Mode>(i);
    return isatty(STDERR_FILENO) != 0 ? Progress::Mode::Line : Progress::Mode::None;
}

// Ends the process by `sig` with its default action, once the command has
// removed its temporary file and said why it stopped.
void dieBy(int sig) {
    std::signal(sig, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    std::raise(sig);
}

// The library a command loads: the one named with --plugin, or else the
// first Halvorine.so found where the program looks for it.
std::string pluginToLoad(const std::string& named) {
    if (!named.empty())
        return named;
    std::string found = halvorine::findDefaultPlugin();
    if (found.empty())
        throw std::runtime_error(halvorine::noDefaultPluginMessage());
    return found;
}

// The CLAP module that a keyed render loads: the one named with --plugin,
// or else the first Halvorine.clap found where the program looks for it.
std::string clapToLoad(const std::string& named) {
    if (!named.empty())
        return named;
    std::string found = halvorine::findDefaultClap();
    if (found.empty())
        throw std::runtime_error(halvorine::noDefaultClapMessage());
    return found;
}

// --version: the program's version, the library that a command without
// --plugin would load, and the CLAP module that a render with a key would.
std::string versionText() {
    std::string found = halvorine::findDefaultPlugin(), clap = halvorine::findDefaultClap();
    return std::string("halvorine ") + HALVORINE_VERSION + "\nplug-in: " +
           (found.empty() ? halvorine::noDefaultPluginMessage() : found) +
           "\nwith a key (render --key): " + (clap.empty() ? halvorine::noDefaultClapMessage() : clap);
}

int run(int argc, char** argv, std::string& commandName, int& interruptedBy) {
    CLI::App app{"halvorine: renders audio files through a VST 2.x plug-in (by default Halvorine.so, the "
                 "Halvorine sixteen-band gate; --version shows which one)."};
    app.require_subcommand(1);
    app.set_version_flag("--version", versionText,
                         "print the version and the plug-in library that commands load by default, and exit");

    std::string plugin;
    std::string program;
    std::vector<std::string> sets;

    halvorine::RenderOptions render;
    halvorine::BatchOptions batch;
    std::vector<std::string> renderFiles;
    CLI::App* renderCommand = app.add_subcommand(
        "render", "render an audio file through the plug-in: IN OUT; or many at once: IN... --out-dir DIR");
    renderCommand
        ->add_option("FILES", renderFiles,
                     "IN OUT: the input audio file (any format libsndfile reads, mono or stereo) and the output, "
                     "whose format follows its extension (.wav, .flac, .aiff, .ogg, ...); with --out-dir, IN...: "
                     "the inputs, each written under its own name into DIR")
        ->required();
    renderCommand->add_option("--out-dir", batch.outDir,
                              "render every IN into this folder (made if missing), each output named as its input");
    renderCommand->add_option("--format", batch.format,
                              "with --out-dir: the outputs' format, by extension (wav, flac, aiff, ogg, ...), "
                              "instead of each input's own");
    renderCommand->add_flag("--recursive", batch.recursive,
                            "with --out-dir: an IN that is a folder gives its audio files and those of its "
                            "sub-folders, which are kept under DIR");
    renderCommand->add_flag("--skip-existing", batch.skipExisting,
                            "leave an output that is there already, and do not render its input");
    int jobs = halvorine::availableCores();
    renderCommand->add_option("-j,--jobs", jobs, "with --out-dir: files rendered at once, each on a thread of its own")
        ->check(CLI::Range(1, 4096))
        ->default_str("one per core this process may use");
    std::string progressName;
    renderCommand
        ->add_option("--progress", progressName,
                     "line: one line on standard error, rewritten (files done, share of the audio, speed, time "
                     "left); plain: a line per finished file, for logs; none")
        ->check(CLI::IsMember(std::vector<std::string>(std::begin(halvorine::Progress::kModeNames),
                                                       std::end(halvorine::Progress::kModeNames))))
        ->default_str("line when standard error is a terminal, else none");
    bool quiet = false;
    renderCommand->add_flag("-q,--quiet", quiet, "the same as --progress=none");
    addRenderPluginOption(renderCommand, plugin);
    addSettingOptions(renderCommand, program, sets);
    renderCommand->add_option("--key", render.key,
                              "key file: its bands key the gates instead of the input's left channel; mono or "
                              "stereo, at the input's rate, not longer than the input (a shorter key ends in "
                              "silence). Renders through the CLAP edition");
    renderCommand->add_option("--key-source", render.keySource,
                              "what keys the gates: external (the --key file, summed to mono), or the input's "
                              "left, right, mid ((L+R)/2) or side ((L-R)/2); anything but the VST 2.x library's "
                              "left renders through the CLAP edition")
        ->check(CLI::IsMember(std::vector<std::string>(halvorine::kKeySourceNames,
                                                       halvorine::kKeySourceNames + halvorine::kNumKeySources)))
        ->default_str("external with --key, else left through the VST 2.x library");
    renderCommand->add_option("--block", render.blockSize, "frames per processing block")
        ->check(CLI::Range(1, 65536))
        ->capture_default_str();
    std::string learnFrom;
    double margin = gate::kLearnMarginDb;
    renderCommand->add_option("--learn", learnFrom,
                              "learn the sixteen gate levels from this noise file first (as the learn command "
                              "does, with the same settings and key source) and render with them");
    renderCommand->add_option("--margin", margin, "with --learn: dB the thresholds lie above the noise")
        ->check(CLI::Range(-40.0, 40.0))
        ->capture_default_str();

    halvorine::LearnOptions learn;
    CLI::App* learnCommand = app.add_subcommand(
        "learn", "learn the sixteen gate levels from a noise file; print them as --set arguments");
    learnCommand->add_option("NOISE", learn.noise, "audio file of the noise to keep out, mono or stereo")
        ->required();
    learnCommand->add_option("--margin", learn.marginDb, "dB the thresholds lie above the noise")
        ->check(CLI::Range(-40.0, 40.0))
        ->capture_default_str();
    addSettingOptions(learnCommand, program, sets);
    learnCommand->add_option("--key-source", learn.keySource,
                              "what keys the gates, as render's --key-source: left, right, mid, side, or external "
                              "(the noise as the key)")
        ->check(CLI::IsMember(std::vector<std::string>(halvorine::kKeySourceNames,
                                                       halvorine::kKeySourceNames + halvorine::kNumKeySources)))
        ->default_str("left");

    bool json = false;
    CLI::App* infoCommand = app.add_subcommand("info", "describe the plug-in: record, names, programs, parameters");
    addPluginOption(infoCommand, plugin);
    infoCommand->add_flag("--json", json, "one JSON object, for scripts");

    std::string picture;
    CLI::App* snapshotCommand = app.add_subcommand("snapshot", "draw the plug-in's editor window into a PNG file");
    snapshotCommand->add_option("OUT", picture, "PNG file to write")->required();
    addSettingOptions(snapshotCommand, program, sets);
    double snapshotScale = 1.0;
    snapshotCommand
        ->add_option("--scale", snapshotScale,
                     "draw the window at this scale, 1 to 3 in quarters (2 for a screen of 192 dpi)")
        ->check(CLI::Range(1.0, 3.0))
        ->capture_default_str();
    std::string snapshotKey;
    snapshotCommand->add_option("--key-source", snapshotKey,
                                "show the key selector on this choice, as the VST3, CLAP and LV2 editions do")
        ->check(CLI::IsMember({"left", "right", "mid", "side", "external"}));

    std::string demoFolder = "halvorine-demo";
    CLI::App* demoCommand = app.add_subcommand(
        "demo", "synthesise a drum groove, render it through \"BigBeat\" and \"Gated\", draw a comparison");
    demoCommand->add_option("--out", demoFolder, "folder for the demo's files")->capture_default_str();
    addPluginOption(demoCommand, plugin);

    // CLI11 reports a mistyped command only as a missing one.
    if (argc > 1 && argv[1][0] != '-' && 
        app.get_subcommands([&](CLI::App* command) { return command->check_name(argv[1]); }).empty()) {
        std::cerr << "halvorine: unknown command \"" << argv[1]
                  << "\" (commands: render, learn, info, snapshot, demo; see halvorine --help)\n";
        return kUsage;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::string command = app.get_subcommands().empty() ? "" : " " + app.get_subcommands()[0]->get_name();
        std::cerr << "halvorine" << command << ": " << e.what() << " (see halvorine" << command << " --help)\n";
        return kUsage;
    }

    CLI::App* chosen = app.get_subcommands()[0];
    commandName = " " + chosen->get_name();
    try {
        if (chosen == renderCommand) {
            halvorine::InterruptGuard guard;
            const bool many = !batch.outDir.empty();
            if (!many && renderFiles.size() != 2) {
                std::cerr << "halvorine render: give IN OUT, or IN... --out-dir DIR ("
                          << (renderFiles.size() < 2 ? "no OUT" : "more than one OUT") << "; see halvorine render --help)\n";
                return kUsage;
            }
            if (!many && (!batch.format.empty() || batch.recursive)) {
                std::cerr << "halvorine render: " << (batch.recursive ? "--recursive" : "--format")
                          << " needs --out-dir DIR (IN OUT takes its format from OUT)\n";
                return kUsage;
            }
            if (!batch.format.empty() && !halvorine::knownAudioExtension(batch.format)) {
                std::cerr << "halvorine render: --format " << batch.format
                          << ": unknown output format (use wav, flac, aiff, ogg, ...)\n";
                return kUsage;
            }
            if (!render.key.empty() && render.keySource.empty())
                render.keySource = "external";
            if (render.keySource == "external" && render.key.empty()) {
                std::cerr << "halvorine render: --key-source external needs a key file: --key KEY.wav\n";
                return kUsage;
            }
            if (!render.key.empty() && render.keySource != "external") {
                std::cerr << "halvorine render: --key " << render.key << " is only heard with --key-source external, not "
                          << render.keySource << "\n";
                return kUsage;
            }
            // The settings that every file of the command is rendered with.
            render.plugin = render.keySource.empty() ? pluginToLoad(plugin) : clapToLoad(plugin);
            render.settings = toSettings(program, sets);
            // Learned levels join the settings, before the files are
            // planned: every file of the command is rendered with them. One
            // input is checked to have the noise's rate.
            if (!learnFrom.empty()) {
                if (!many)
                    render.input = renderFiles[0];
                halvorine::addLearnedLevels(render, learnFrom, margin);
            }
            Progress::Mode progress = quiet ? Progress::Mode::None : progressMode(progressName);
            if (many) {
                batch.inputs = renderFiles;
                std::vector<halvorine::BatchFile> plan;
                try {
                    plan = halvorine::planBatch(batch);
                } catch (const halvorine::BatchRefused& e) {
                    std::cerr << "halvorine render: " << e.what() << "\n";
                    return kUsage;
                }
                if (!render.key.empty() && plan.size() > 1) {
                    std::cerr << "halvorine render: --key " << render.key << " belongs to one input, and "
                              << plan.size() << " are given; render each with its own key\n";
                    return kUsage;
                }
                // Loaded once; every file's instance is built from it.
                if (render.keySource.empty())
                    render.library = std::make_shared<const halvorine::PluginLibrary>(render.plugin);
                else
                    render.clapModule = std::make_shared<const halvorine::ClapModule>(render.plugin);
                return halvorine::runBatch(plan, render, jobs, progress, interruptedBy);
            }
            render.input = renderFiles[0];
            render.output = renderFiles[1];
            if (batch.skipExisting && std::filesystem::is_regular_file(render.output)) {
                std::cout << render.output << ": there already; left as it is (--skip-existing)\n";
                return 0;
            }
            halvorine::RenderResult result;
            {
                halvorine::Progress line(progress, 1);
                render.progress = [&line](long long done, long long total, int rate) {
                    line.update(0, double(done) / rate, double(total) / rate);
                };
                result = halvorine::render(render);
                line.finish(0, render.output, "", "", false);
            }
            std::cout << result.summary(render.output) << "\n";
        } else if (chosen == learnCommand) {
            halvorine::InterruptGuard guard;
            learn.settings = toSettings(program, sets);
            const halvorine::Learned learned = halvorine::learn(learn);
            if (!learned.silentBands.empty()) {
                std::cerr << "halvorine learn: bands";
                for (int band : learned.silentBands)
                    std::cerr << " " << band;
                std::cerr << " heard nothing and keep their levels\n";
            }
            std::cout << halvorine::setArguments(learned) << "\n";
        } else if (chosen == infoCommand) {
            halvorine::Plugin instance(pluginToLoad(plugin), 44100.0);
            instance.open(1024);
            std::cout << (json ? halvorine::infoJson(instance) : halvorine::infoText(instance));
        } else if (chosen == snapshotCommand) {
            return halvorine::snapshot(picture, toSettings(program, sets), snapshotScale, snapshotKey);
        } else if (chosen == demoCommand) {
            halvorine::InterruptGuard guard;
            return halvorine::runDemo(demoFolder, pluginToLoad(plugin));
        }
    } catch (const halvorine::Interrupted& e) {
        // Only a render of one file throws it; a batch says what it wrote.
        std::cerr << "halvorine " << chosen->get_name() << ": interrupted; nothing was written\n";
        interruptedBy = e.signal;
        return 128 + e.signal;
    } catch (const halvorine::NothingLearned& e) {
        std::cerr << "halvorine " << chosen->get_name() << ": " << e.what() << "\n";
        return kNothingLearned;
    } catch (const std::exception& e) {
        std::cerr << "halvorine " << chosen->get_name() << ": " << e.what() << "\n";
        return kFailed;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Reports to a file or a pipe are kept whole in the buffer and written
    // at the end, where a failed write is caught with its cause.
    if (!isatty(STDOUT_FILENO))
        std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    std::string command;
    int interruptedBy = 0;
    int status = run(argc, argv, command, interruptedBy);
    // Every command, help included, reports on standard output; an exit
    // status of success promises that all of it arrived.
    std::string why;
    if (!finishStandardOutput(why)) {
        std::cerr << "halvorine" << command << ": cannot write to standard output: " << why << "\n";
        if (status == 0)
            status = kFailed;
    }
    if (interruptedBy != 0)
        dieBy(interruptedBy);
    return status;
}
