#include "AudioFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <vector>

namespace halvorine {

namespace {

std::string lowercase(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::string extensionOf(const std::string& path) {
    std::string name = std::filesystem::path(path).filename().string();
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? "" : lowercase(name.substr(dot + 1));
}

// The major format whose usual extension `ext` is, from libsndfile's own
// table, plus the names people use that the table spells differently.
int majorFormatFor(const std::string& ext) {
    if (ext == "aif" || ext == "aifc")
        return SF_FORMAT_AIFF;
    if (ext == "ogg" || ext == "opus")
        return SF_FORMAT_OGG;
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    for (int i = 0; i < count; ++i) {
        SF_FORMAT_INFO info{};
        info.format = i;
        sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info);
        if (info.extension != nullptr && lowercase(info.extension) == ext)
            return info.format & SF_FORMAT_TYPEMASK;
    }
    return 0;
}

// Subtypes to try, best first, for an input of subtype `in`: the same
// width, then the nearest the output format can hold.
std::vector<int> subtypeCandidates(int in, const std::string& ext) {
    if (ext == "opus")
        return {SF_FORMAT_OPUS};
    std::vector<int> list{in};
    switch (in) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
        list.insert(list.end(), {SF_FORMAT_PCM_S8, SF_FORMAT_PCM_U8, SF_FORMAT_PCM_16});
        break;
    case SF_FORMAT_PCM_24:
        list.insert(list.end(), {SF_FORMAT_PCM_32, SF_FORMAT_FLOAT});
        break;
    case SF_FORMAT_PCM_32:
        list.insert(list.end(), {SF_FORMAT_PCM_24, SF_FORMAT_FLOAT});
        break;
    case SF_FORMAT_FLOAT:
        list.insert(list.end(), {SF_FORMAT_DOUBLE, SF_FORMAT_PCM_24});
        break;
    case SF_FORMAT_DOUBLE:
        list.insert(list.end(), {SF_FORMAT_FLOAT, SF_FORMAT_PCM_24});
        break;
    default:  // 16 bits, and the lossy formats, which decode to about that
        break;
    }
    list.insert(list.end(), {SF_FORMAT_PCM_16, SF_FORMAT_PCM_24, SF_FORMAT_VORBIS, SF_FORMAT_OPUS,
                             SF_FORMAT_MPEG_LAYER_III, SF_FORMAT_ALAC_16, SF_FORMAT_FLOAT});
    return list;
}

std::string errnoText() { return std::strerror(errno); }

// The finished file is renamed over `path`: over a folder that fails only
// after all the work, and over a device, a pipe or a socket it would put a
// plain file in its place (run as root, over /dev/null).
void refuseNonRegular(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        throw std::runtime_error("cannot write " + path + ": " +
                                 (S_ISDIR(st.st_mode) ? "it is a folder"
                                                      : "it is not a regular file (a device, pipe or socket)"));
}

}  // namespace

InputFile::InputFile(const std::string& path, bool key) : path_(path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        throw std::runtime_error("cannot read " + path + ": " + errnoText());
    if (S_ISDIR(st.st_mode))
        throw std::runtime_error("cannot read " + path + ": it is a folder");
    if (access(path.c_str(), R_OK) != 0)
        throw std::runtime_error("cannot read " + path + ": " + errnoText());
    file_ = sf_open(path.c_str(), SFM_READ, &info_);
    if (file_ == nullptr)
        throw std::runtime_error("cannot read " + path + ": not an audio file in a format libsndfile reads (" +
                                 sf_strerror(nullptr) + ")");
    if (info_.channels < 1 || info_.channels > 2) {
        sf_close(file_);
        throw std::runtime_error((key ? "cannot key from " : "cannot render ") + path + ": it has " +
                                 std::to_string(info_.channels) + " channels; " +
                                 (key ? "a key is mono or stereo" : "only mono and stereo files are supported"));
    }
    if (info_.samplerate <= 0) {
        sf_close(file_);
        throw std::runtime_error("cannot render " + path + ": no sample rate");
    }
}

InputFile::~InputFile() { sf_close(file_); }

long long InputFile::read(float* interleaved, long long frames) {
    sf_count_t n = sf_readf_float(file_, interleaved, frames);
    if (n < 0 || (n == 0 && sf_error(file_) != SF_ERR_NO_ERROR))
        throw std::runtime_error("cannot read " + path_ + ": " + sf_strerror(file_));
    return n;
}

int chooseOutputFormat(const std::string& path, int inputFormat, int sampleRate, int channels) {
    // What the path is comes first: /dev/null has no extension to speak of.
    refuseNonRegular(path);
    std::string ext = extensionOf(path);
    if (ext.empty())
        throw std::runtime_error("cannot write " + path +
                                 ": it has no extension to choose the output format by (use .wav, .flac, .aiff, "
                                 ".ogg, ...)");
    int major = majorFormatFor(ext);
    if (major == 0)
        throw std::runtime_error("cannot write " + path + ": unknown output format \"." + ext +
                                 "\" (use .wav, .flac, .aiff, .ogg, ...)");
    for (int subtype : subtypeCandidates(inputFormat & SF_FORMAT_SUBMASK, ext)) {
        SF_INFO info{};
        info.samplerate = sampleRate;
        info.channels = channels;
        info.format = major | subtype;
        if (sf_format_check(&info))
            return info.format;
    }
    throw std::runtime_error("cannot write " + path + ": the ." + ext + " format cannot hold " +
                             std::to_string(channels) + " channels at " + std::to_string(sampleRate) + " Hz");
}

bool knownAudioExtension(const std::string& extension) {
    return !extension.empty() && majorFormatFor(lowercase(extension)) != 0;
}

int createTemporaryBeside(const std::string& path, std::string& temporary) {
    refuseNonRegular(path);
    std::filesystem::path target(path);
    std::string folder = target.parent_path().empty() ? "." : target.parent_path().string();
    std::string pattern = folder + "/." + target.filename().string() + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0)
        throw std::runtime_error("cannot write " + path + ": " + errnoText());
    temporary = name.data();
    // mkstemp makes the file private; a finished output gets the usual mode.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    return fd;
}

void commitTemporary(int fd, const std::string& temporary, const std::string& path) {
    bool synced = fsync(fd) == 0;
    int error = errno;
    if (close(fd) != 0 && synced) {
        synced = false;
        error = errno;
    }
    if (!synced)
        throw std::runtime_error("cannot write " + path + ": " + std::strerror(error));
    if (std::rename(temporary.c_str(), path.c_str()) != 0)
        throw std::runtime_error("cannot write " + path + ": " + errnoText());
    // The rename changes the folder, which reaches the disk on its own
    // schedule unless it is synced too. A folder that cannot be opened to
    // be synced (one that may be written but not read) and a file system
    // that cannot sync one (EINVAL) leave the rename as it stands.
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    const int folderFd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0 && errno == EACCES)
        return;
    if (folderFd < 0 || (fsync(folderFd) != 0 && errno != EINVAL)) {
        error = errno;
        if (folderFd >= 0)
            close(folderFd);
        throw std::runtime_error("cannot write " + path + ": its folder cannot be synced to the disk: " +
                                 std::strerror(error));
    }
    close(folderFd);
}

OutputFile::OutputFile(const std::string& path, int format, int sampleRate, int channels) : path_(path) {
    fd_ = createTemporaryBeside(path, temporary_);

    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = format;
    // The descriptor stays open after sf_close, which writes the header
    // last, so that commit() can sync the finished file.
    file_ = sf_open_fd(fd_, SFM_WRITE, &info, SF_FALSE);
    if (file_ == nullptr) {
        std::string why = sf_strerror(nullptr);
        close(fd_);
        unlink(temporary_.c_str());
        throw std::runtime_error("cannot write " + path + ": " + why);
    }
    // Integer formats clip what lies beyond full scale instead of wrapping.
    int subtype = format & SF_FORMAT_SUBMASK;
    if (subtype != SF_FORMAT_FLOAT && subtype != SF_FORMAT_DOUBLE)
        sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

OutputFile::~OutputFile() {
    if (file_ != nullptr)
        sf_close(file_);
    if (fd_ >= 0)
        close(fd_);
    if (!committed_)
        unlink(temporary_.c_str());
}

void OutputFile::write(const float* interleaved, long long frames) {
    if (sf_writef_float(file_, interleaved, frames) != frames)
        throw std::runtime_error("cannot write " + path_ + ": " + sf_strerror(file_));
}

void OutputFile::commit() {
    int status = sf_close(file_);
    file_ = nullptr;
    if (status != 0)
        throw std::runtime_error("cannot write " + path_ + ": " + sf_error_number(status));
    const int fd = fd_;
    fd_ = -1;
    commitTemporary(fd, temporary_, path_);
    committed_ = true;
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::equivalent(a, b, error) && !error;
}

}  // namespace halvorine
