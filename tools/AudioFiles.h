// Audio files through libsndfile: reading any format it reads, choosing the
// output format from a file name, and writing so that a file appears under
// its name complete or not at all.
#pragma once

#include <sndfile.h>

#include <string>

namespace halvorine {

class InputFile {
public:
    // Throws with a one-line message for a missing, unreadable or
    // unsupported file; `key`: the file is a key, and the message says so.
    explicit InputFile(const std::string& path, bool key = false);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    const SF_INFO& info() const { return info_; }
    // Interleaved frames; answers how many were read (0 at the end).
    long long read(float* interleaved, long long frames);

private:
    std::string path_;
    SF_INFO info_{};
    SNDFILE* file_ = nullptr;
};

// libsndfile's format for `path`, chosen by its extension, with the sample
// width of `inputFormat` where the output format has it (float stays
// float). Throws for an extension no format has.
int chooseOutputFormat(const std::string& path, int inputFormat, int sampleRate, int channels);

// True when `extension` (without the dot, any case) names an output format
// that chooseOutputFormat knows: the extensions a batch takes for its
// outputs, and the files it finds in a folder.
bool knownAudioExtension(const std::string& extension);

// Creates an empty file with a fresh temporary name in the folder of `path`
// (hidden, beside it), with the usual permissions; answers its descriptor
// and stores its name in `temporary`. Throws with a one-line message, also
// when `path` names something other than a file (a folder, a device, a
// pipe), which the finished file must not replace.
int createTemporaryBeside(const std::string& path, std::string& temporary);

// Puts the finished file `temporary`, open as `fd`, under the name `path`
// so that a power cut leaves either the old file or the whole new one, never
// an empty or partial file under the name: the data reaches the disk before
// the rename, and the folder's new entry after it. Closes `fd` in any case.
// Throws with a one-line message; the caller then removes `temporary` (gone
// already if only the last step failed).
void commitTemporary(int fd, const std::string& temporary, const std::string& path);

// A file written under a temporary name in the folder of its final name and
// put under that name by commit(), through commitTemporary. Destroyed
// without commit, it removes the temporary file and leaves whatever had the
// final name untouched.
class OutputFile {
public:
    OutputFile(const std::string& path, int format, int sampleRate, int channels);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(const float* interleaved, long long frames);
    void commit();
    const std::string& temporaryPath() const { return temporary_; }

private:
    std::string path_;
    std::string temporary_;
    int fd_ = -1;  // the temporary file, kept open for commitTemporary
    SNDFILE* file_ = nullptr;
    bool committed_ = false;
};

// True when both names lead to the same existing file (links followed).
bool sameFile(const std::string& a, const std::string& b);

}  // namespace halvorine
