// The table of formats and the rules every walk shares.
#include <algorithm>
#include <sstream>

#include "fslib/carve/FileFormat.h"

namespace carve {

namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream in(text);
    std::string w;
    while (std::getline(in, w, ',')) {
        for (char& c : w) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (!w.empty()) out.push_back(w);
    }
    return out;
}

bool Answers(const FileFormat& f, const std::string& word) {
    if (word == f.name) return true;
    std::vector<std::string> aliases = Words(f.aliases);
    return std::find(aliases.begin(), aliases.end(), word) != aliases.end();
}

}  // namespace

const std::vector<FileFormat>& FileFormats() {
    // Limits: what a camera or a phone writes, with room; a candidate whose end cannot be
    // found is offered up to them.
    static const std::vector<FileFormat> table = {
        {"jpg", "JPEG image", "jpeg", 128 * kMiB, IsJpegHeader, WalkJpeg},
        {"png", "PNG image", "", 256 * kMiB, IsPngHeader, WalkPng},
        {"gif", "GIF image", "", 64 * kMiB, IsGifHeader, WalkGif},
        {"bmp", "BMP image", "", 256 * kMiB, IsBmpHeader, WalkBmp},
        {"tif", "TIFF image", "tiff,cr2,nef,arw,dng", 512 * kMiB, IsTiffHeader, WalkTiff},
        {"mp4", "MP4 video", "mov,3gp,heic", 4096 * kMiB, IsIsoMediaHeader, WalkIsoMedia},
        {"avi", "AVI video", "webp", 4096 * kMiB, IsRiffHeader, WalkRiff},
    };
    return table;
}

std::vector<const FileFormat*> SelectFormats(const std::string& words, std::vector<std::string>* unknown) {
    std::vector<const FileFormat*> out;
    std::vector<std::string> list = Words(words);
    for (const FileFormat& f : FileFormats()) {
        bool wanted = list.empty();
        for (const std::string& w : list) wanted = wanted || Answers(f, w);
        if (wanted) out.push_back(&f);
    }
    for (const std::string& w : list) {
        bool known = false;
        for (const FileFormat& f : FileFormats()) known = known || Answers(f, w);
        if (!known && unknown) unknown->push_back(w);
    }
    return out;
}

bool ResultWanted(const std::string& words, const FileFormat& format, const WalkResult& result) {
    std::vector<std::string> list = Words(words);
    if (list.empty()) return true;
    std::string ext = result.extension ? result.extension : format.name;
    return std::find(list.begin(), list.end(), ext) != list.end() ||
           (ext == "jpg" && std::find(list.begin(), list.end(), "jpeg") != list.end()) ||
           (ext == "tif" && std::find(list.begin(), list.end(), "tiff") != list.end());
}

WalkResult RunWalk(const FileFormat& format, IByteSource* source, uint64_t start) {
    CandidateBytes bytes(source, start, format.maxSize);
    WalkResult r = format.Walk(bytes);
    if (r.length > bytes.Limit()) r.length = bytes.Limit();
    if (r.length == 0) r.length = std::min<uint64_t>(kHeaderBytes, bytes.Limit());
    if (r.length == 0) r.whole = false;
    return r;
}

}  // namespace carve
