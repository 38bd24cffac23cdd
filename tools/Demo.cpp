#include "Demo.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <vector>

#include "AudioFiles.h"
#include "Groove.h"
#include "Picture.h"
#include "Render.h"

namespace halvorine {

namespace {

struct Rendition {
    const char* program;
    const char* file;
};
constexpr Rendition kRenditions[] = {{"BigBeat", "groove-bigbeat.wav"}, {"Gated", "groove-gated.wav"}};
constexpr const char* kInputFile = "groove.wav";
constexpr const char* kPictureFile = "comparison.png";

void writeInput(const std::string& path, const StereoBuffer& groove) {
    // 24-bit WAV: every player opens it, and the quiet room tone keeps its
    // detail; the renders keep the same width.
    OutputFile file(path, SF_FORMAT_WAV | SF_FORMAT_PCM_24, groove.sampleRate, 2);
    std::vector<float> interleaved(groove.left.size() * 2);
    for (size_t i = 0; i < groove.left.size(); ++i) {
        interleaved[2 * i] = groove.left[i];
        interleaved[2 * i + 1] = groove.right[i];
    }
    file.write(interleaved.data(), static_cast<long long>(groove.left.size()));
    file.commit();
}

Track readTrack(const std::string& path, const std::string& label) {
    InputFile file(path);
    const int channels = file.info().channels;
    Track track{label, {}, {}};
    std::vector<float> block(4096 * channels);
    while (long long n = file.read(block.data(), 4096))
        for (long long i = 0; i < n; ++i) {
            track.left.push_back(block[i * channels]);
            track.right.push_back(block[i * channels + (channels > 1 ? 1 : 0)]);
        }
    return track;
}

}  // namespace

int runDemo(const std::string& folder, const std::string& plugin) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        throw std::runtime_error("cannot create " + folder + ": " + error.message());
    const std::filesystem::path dir(folder);
    const std::string input = (dir / kInputFile).string();

    StereoBuffer groove = synthesiseGroove();
    writeInput(input, groove);

    std::vector<Track> tracks{{"Input: drum groove with room tone", std::move(groove.left), std::move(groove.right)}};
    for (const Rendition& rendition : kRenditions) {
        RenderOptions options;
        options.input = input;
        options.output = (dir / rendition.file).string();
        options.plugin = plugin;
        options.settings.program = rendition.program;
        RenderResult result = render(options);
        std::cout << result.summary(options.output) << "\n";
        tracks.push_back(readTrack(options.output, std::string("Through \"") + rendition.program + "\""));
    }
    if (InterruptGuard::pending())
        throw Interrupted(InterruptGuard::pending());

    const std::string picture = (dir / kPictureFile).string();
    drawComparison(tracks, 44100, "Halvorine demo: one groove, two programs").writePng(picture);

    std::string where = std::filesystem::absolute(dir).lexically_normal().string();
    auto line = [](const std::string& name, const char* what) {
        std::string padded = "  " + name;
        padded.resize(std::max<size_t>(padded.size() + 2, 24), ' ');
        std::cout << padded << what << "\n";
    };
    std::cout << "\nThe demo is in " << where << ":\n";
    line(kInputFile, "the input: two bars of kick, snare and hi-hat at 100 BPM, with hiss and");
    line("", "50 Hz hum (room tone) under and between the hits");
    line(kRenditions[0].file, "through \"BigBeat\"");
    line(kRenditions[1].file, "through \"Gated\"");
    line(kPictureFile, "level envelope and spectrogram of all three, one above the other");
    std::cout << "\nWhat to listen for:\n"
              << "  - The input: the hiss and the hum in the gaps between the hits.\n"
              << "  - \"Gated\": every band has its gate set above the room tone, so the gaps fall\n"
              << "    silent while the hits pass, and the hiss that rides on a hit ends with it.\n"
              << "    In the picture the envelope drops out of the bottom between the hits.\n"
              << "  - \"BigBeat\": half the bands stay open and carry the room tone, the others open\n"
              << "    on the hits and close slowly: a dense, pumping beat in which the hiss swells\n"
              << "    and breathes with the groove instead of stopping.\n"
              << "Play them with any audio player, for example: aplay " << (dir / kRenditions[1].file).string()
              << "\n";
    // The LV2 edition's bundle sits beside the VST 2.x library in a build.
    const std::filesystem::path built = std::filesystem::absolute(plugin).parent_path();
    if (std::filesystem::exists(built / "lv2-path" / "Halvorine.lv2" / "manifest.ttl"))
        std::cout << "The same gate, sample for sample, as an LV2 plug-in for LV2 hosts: LV2_PATH="
                  << (built / "lv2-path").string() << " jalv urn:pellucid:halvorine (see the README)\n";
    return 0;
}

}  // namespace halvorine
