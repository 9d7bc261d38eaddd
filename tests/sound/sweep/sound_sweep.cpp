// Runs the sound intake rule over every file under the given folders, to see
// what it would offer as sound among files that are not: one line per file it
// takes, with the frame share behind a raw MPEG verdict. With --check, any
// taken file without a sound or media extension fails the run (exit 1), and so
// does any refused file with one. A
// folder that cannot be walked fails it too (exit 2): a missing folder must
// not pass for a clean one. With --wave-data each file is judged as the data
// chunk of a WAV that declares MPEG audio, where no container is looked for.
//   host_sound_sweep [--check] [--wave-data] DIR...
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "engine/sound/sound_intake.h"

namespace fs = std::filesystem;

namespace {

bool HasMediaExtension(const fs::path& path) {
    static const std::set<std::string> kExtensions = {
        "wav", "mp3", "mp2", "mp1", "mpa", "ogg", "oga", "ogv",  "opus", "spx", "flac", "wv",  "ape",
        "tta", "mpc", "mka", "mkv", "webm", "avi", "mov", "mp4", "m4a", "m4v",  "aif", "aiff", "aifc", "au",
        "snd", "caf", "w64", "rf64", "wma", "asf", "wmv", "mpg", "mpeg", "vob", "m2ts", "dv"};
    std::string ext = path.extension().string();
    if (ext.empty()) return false;
    ext.erase(0, 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return (char)std::tolower(c); });
    return kExtensions.count(ext) != 0;
}

bool ReadWhole(const fs::path& path, std::vector<uint8_t>* bytes) {
    std::ifstream f(path, std::ios::binary | std::ios::ate);
    if (!f) return false;
    bytes->resize((size_t)f.tellg());
    f.seekg(0);
    return (bool)f.read((char*)bytes->data(), (std::streamsize)bytes->size());
}

}  // namespace

int main(int argc, char** argv) {
    bool check = false, wave_data = false;
    int first = 1;
    for (; first < argc && argv[first][0] == '-'; first++) {
        check = check || std::string(argv[first]) == "--check";
        wave_data = wave_data || std::string(argv[first]) == "--wave-data";
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: host_sound_sweep [--check] [--wave-data] DIR...\n");
        return 2;
    }
    unsigned read = 0, taken = 0, wrong = 0;   // taken without a sound extension, or refused with one
    bool walk_failed = false;
    std::vector<uint8_t> bytes;
    for (int a = first; a < argc; a++) {
        std::error_code ec;
        // The iterator never follows a symlinked folder; symlinked files are passed over below.
        fs::recursive_directory_iterator it(argv[a], fs::directory_options::skip_permission_denied, ec), end;
        for (; !ec && it != end; it.increment(ec)) {
            std::error_code e;
            if (it->is_symlink(e) || !it->is_regular_file(e)) continue;
            const uintmax_t size = it->file_size(e);
            if (e || size < 1024 || size > 50u << 20 || !ReadWhole(it->path(), &bytes)) continue;
            read++;
            const SoundIntake in = wave_data ? DecideMpegDataIntake(bytes.data(), (uint32_t)bytes.size())
                                             : DecideSoundIntake(bytes.data(), (uint32_t)bytes.size());
            if (in.kind == SOUND_INTAKE_REFUSED) {
                if (check && HasMediaExtension(it->path())) {
                    std::printf("refused sound: %s (%s)\n", it->path().string().c_str(), DescribeSoundIntake(in));
                    wrong++;
                }
                continue;
            }
            taken++;
            const std::string path = it->path().string();
            if (in.kind == SOUND_INTAKE_CONTAINER)
                std::printf("%s\t%s\n", in.container ? in.container : "container", path.c_str());
            else
                std::printf("raw MPEG %.0f%%\t%s\n",
                            in.weighed_bytes ? 100.0 * in.frame_bytes / in.weighed_bytes : 0.0, path.c_str());
            if (check && !HasMediaExtension(it->path())) {
                std::printf("not sound: %s\n", path.c_str());
                wrong++;
            }
        }
        if (ec) {
            std::fprintf(stderr, "%s: %s\n", argv[a], ec.message().c_str());
            walk_failed = true;
        }
    }
    std::printf("read %u files, took %u\n", read, taken);
    return wrong ? 1 : walk_failed ? 2 : 0;
}
