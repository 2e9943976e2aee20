// The formats the search by content knows: for each, a header test on the first bytes of
// a sector and a structure walk that finds the file's end and says whether it is whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fslib/carve/CandidateBytes.h"

namespace carve {

// What a walk made of a candidate. A walk that cannot find the end offers the bytes up to
// where the structure broke (at least the header), or up to the limit, and says damaged.
struct WalkResult {
    WalkResult() = default;
    WalkResult(uint64_t n, bool isWhole) : length(n), whole(isWhole) {}

    uint64_t length = 0;
    bool whole = false;
    // The kind the walk recognised (a TIFF that is a camera raw, an ISO file that is a
    // movie); empty = the format's own.
    const char* extension = nullptr;
    const char* typeName = nullptr;
    // EXIF "YYYY:MM:DD HH:MM:SS" when the file says when it was taken.
    std::string dateTaken;
};

// Header tests see this many bytes: one sector.
constexpr size_t kHeaderBytes = 512;

struct FileFormat {
    const char* name;                         // the --types word and the usual extension: "jpg"
    const char* typeName;                     // the folder of the results: "JPEG image"
    const char* aliases;                      // further --types words the format answers, comma-separated
    uint64_t maxSize;                         // candidates are never taken longer than this
    bool (*IsHeader)(const uint8_t* sector);  // kHeaderBytes bytes
    WalkResult (*Walk)(CandidateBytes& bytes);
};

// The table, in the order the header tests run.
const std::vector<FileFormat>& FileFormats();
// The formats that answer any of the words ("jpg,png"; empty = all); unknown words are
// put in *unknown.
std::vector<const FileFormat*> SelectFormats(const std::string& words, std::vector<std::string>* unknown);
// Whether a result of the walk should be kept for the words (a tif search keeps no cr2).
bool ResultWanted(const std::string& words, const FileFormat& format, const WalkResult& result);

// The formats' own entry points, one file each.
bool IsJpegHeader(const uint8_t* sector);
WalkResult WalkJpeg(CandidateBytes& bytes);
bool IsPngHeader(const uint8_t* sector);
WalkResult WalkPng(CandidateBytes& bytes);
bool IsGifHeader(const uint8_t* sector);
WalkResult WalkGif(CandidateBytes& bytes);
bool IsBmpHeader(const uint8_t* sector);
WalkResult WalkBmp(CandidateBytes& bytes);
bool IsTiffHeader(const uint8_t* sector);
WalkResult WalkTiff(CandidateBytes& bytes);
bool IsIsoMediaHeader(const uint8_t* sector);
WalkResult WalkIsoMedia(CandidateBytes& bytes);
bool IsRiffHeader(const uint8_t* sector);
WalkResult WalkRiff(CandidateBytes& bytes);

// Runs a format's walk over a candidate and applies the rules every walk shares: a
// length of at least one byte, never past the limit.
WalkResult RunWalk(const FileFormat& format, IByteSource* source, uint64_t start);

}  // namespace carve
