#include "app/ContentCheck.h"

#include <magic.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>
#include <vector>

#include "fslib/core/FileSystemParser.h"

namespace {

enum class Family {
    Unknown,
    Jpeg,
    Png,
    Gif,
    Pdf,
    Zip,
    Ole2,
    Wave,
    Avi,
    WebP,
    Mp3,
    Mp4,
    Mov,
    SevenZip,
    Rar,
    Gzip,
    Sqlite,
    Text
};

struct Extension {
    const char* ext;
    Family family;
};

// Lower-case extensions of the types the check knows. Formats built on ZIP (office
// documents, Java and Android packages, e-books) and on OLE2 (old office files,
// installer databases) share their container's signature.
constexpr Extension kExtensions[] = {
    {"jpg", Family::Jpeg},      {"jpeg", Family::Jpeg},      {"jpe", Family::Jpeg},   {"jfif", Family::Jpeg},
    {"png", Family::Png},       {"gif", Family::Gif},        {"pdf", Family::Pdf},    {"zip", Family::Zip},
    {"jar", Family::Zip},       {"apk", Family::Zip},        {"docx", Family::Zip},   {"xlsx", Family::Zip},
    {"pptx", Family::Zip},      {"docm", Family::Zip},       {"xlsm", Family::Zip},   {"pptm", Family::Zip},
    {"odt", Family::Zip},       {"ods", Family::Zip},        {"odp", Family::Zip},    {"odg", Family::Zip},
    {"epub", Family::Zip},      {"xpi", Family::Zip},        {"war", Family::Zip},    {"ear", Family::Zip},
    {"aar", Family::Zip},       {"ipa", Family::Zip},        {"vsix", Family::Zip},   {"kmz", Family::Zip},
    {"whl", Family::Zip},       {"nupkg", Family::Zip},      {"doc", Family::Ole2},   {"xls", Family::Ole2},
    {"ppt", Family::Ole2},      {"msi", Family::Ole2},       {"msg", Family::Ole2},   {"vsd", Family::Ole2},
    {"pub", Family::Ole2},      {"msp", Family::Ole2},       {"wav", Family::Wave},   {"avi", Family::Avi},
    {"webp", Family::WebP},     {"mp3", Family::Mp3},        {"mp4", Family::Mp4},    {"m4a", Family::Mp4},
    {"m4v", Family::Mp4},       {"3gp", Family::Mp4},        {"mov", Family::Mov},    {"qt", Family::Mov},
    {"7z", Family::SevenZip},   {"rar", Family::Rar},        {"gz", Family::Gzip},    {"tgz", Family::Gzip},
    {"sqlite", Family::Sqlite}, {"sqlite3", Family::Sqlite}, {"db3", Family::Sqlite}, {"txt", Family::Text},
    {"log", Family::Text},      {"csv", Family::Text},       {"ini", Family::Text},   {"cfg", Family::Text},
    {"conf", Family::Text},     {"md", Family::Text},        {"xml", Family::Text},   {"html", Family::Text},
    {"htm", Family::Text},      {"json", Family::Text},      {"c", Family::Text},     {"cpp", Family::Text},
    {"h", Family::Text},        {"py", Family::Text},        {"sh", Family::Text},    {"bat", Family::Text},
    {"js", Family::Text},       {"css", Family::Text},       {"rtf", Family::Text},
};

Family FamilyOfName(const std::string& name) {
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot + 1 >= name.size()) return Family::Unknown;
    std::string ext = name.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const Extension& e : kExtensions)
        if (ext == e.ext) return e.family;
    return Family::Unknown;
}

bool StartsWith(std::string_view data, std::string_view prefix, size_t at = 0) {
    return data.size() >= at + prefix.size() && data.compare(at, prefix.size(), prefix) == 0;
}

// libmagic, loaded once per thread (a cookie is not to be shared between threads).
class Magic {
public:
    Magic() {
        m_cookie = magic_open(MAGIC_NONE);
        if (m_cookie && magic_load(m_cookie, nullptr) != 0) {
            magic_close(m_cookie);
            m_cookie = nullptr;
        }
    }
    ~Magic() {
        if (m_cookie) magic_close(m_cookie);
    }
    Magic(const Magic&) = delete;
    Magic& operator=(const Magic&) = delete;

    // The answer under the given flags, or "" when libmagic is not available.
    std::string Ask(int flags, std::string_view data) {
        if (!m_cookie || magic_setflags(m_cookie, flags) != 0) return {};
        const char* answer = magic_buffer(m_cookie, data.data(), data.size());
        return answer ? answer : "";
    }

private:
    magic_t m_cookie = nullptr;
};

Magic& ThreadMagic() {
    thread_local Magic magic;
    return magic;
}

// An MPEG audio frame header: sync, a defined version and layer, a bit rate and
// sampling rate that are not "bad".
bool IsMpegFrame(std::string_view d) {
    if (d.size() < 4) return false;
    auto b = [&](size_t i) { return static_cast<uint8_t>(d[i]); };
    return b(0) == 0xFF && (b(1) & 0xE0) == 0xE0 && (b(1) & 0x18) != 0x08 && (b(1) & 0x06) != 0 &&
           (b(2) & 0xF0) != 0xF0 && (b(2) & 0x0C) != 0x0C;
}

}  // namespace

bool LooksLikeText(const uint8_t* data, size_t size) {
    const std::string_view d(reinterpret_cast<const char*>(data), data ? size : 0);
    if (d.empty()) return true;
    std::string encoding = ThreadMagic().Ask(MAGIC_MIME_ENCODING, d);
    if (!encoding.empty()) return encoding != "binary";
    // Without libmagic: text has no NUL bytes and few control characters.
    size_t control = 0;
    for (char c : d) {
        auto u = static_cast<unsigned char>(c);
        if (u == 0) return false;
        if (u < 0x20 && u != '\n' && u != '\r' && u != '\t' && u != '\f' && u != 0x1B) ++control;
    }
    return control * 20 < d.size();
}

namespace {

bool MatchesFamily(Family family, std::string_view d) {
    switch (family) {
        case Family::Jpeg: return StartsWith(d, "\xFF\xD8\xFF");
        case Family::Png: return StartsWith(d, "\x89PNG\r\n\x1A\n");
        case Family::Gif: return StartsWith(d, "GIF87a") || StartsWith(d, "GIF89a");
        // Readers accept a PDF header anywhere in the first kilobyte.
        case Family::Pdf: return d.substr(0, 1024).find("%PDF-") != std::string_view::npos;
        // A local file header, the end record of an empty archive, or a spanned archive's mark.
        case Family::Zip:
            return StartsWith(d, "PK\x03\x04") || StartsWith(d, "PK\x05\x06") || StartsWith(d, "PK\x07\x08");
        case Family::Ole2: return StartsWith(d, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
        case Family::Wave: return StartsWith(d, "RIFF") && StartsWith(d, "WAVE", 8);
        case Family::Avi: return StartsWith(d, "RIFF") && StartsWith(d, "AVI ", 8);
        case Family::WebP: return StartsWith(d, "RIFF") && StartsWith(d, "WEBP", 8);
        case Family::Mp3: {
            if (StartsWith(d, "ID3") || IsMpegFrame(d)) return true;
            // libmagic also finds a frame after leading junk or padding.
            return ThreadMagic().Ask(MAGIC_MIME_TYPE, d) == "audio/mpeg";
        }
        case Family::Mp4: return StartsWith(d, "ftyp", 4);
        // QuickTime files may open with any of the top-level atoms.
        case Family::Mov:
            return StartsWith(d, "ftyp", 4) || StartsWith(d, "moov", 4) || StartsWith(d, "mdat", 4) ||
                   StartsWith(d, "wide", 4) || StartsWith(d, "free", 4) || StartsWith(d, "skip", 4) ||
                   StartsWith(d, "pnot", 4);
        case Family::SevenZip: return StartsWith(d, std::string_view("7z\xBC\xAF\x27\x1C", 6));
        case Family::Rar:
            return StartsWith(d, std::string_view("Rar!\x1A\x07\x00", 7)) ||
                   StartsWith(d, std::string_view("Rar!\x1A\x07\x01\x00", 8));
        case Family::Gzip: return StartsWith(d, "\x1F\x8B\x08");
        case Family::Sqlite: return StartsWith(d, std::string_view("SQLite format 3\0", 16));
        case Family::Text: return LooksLikeText(reinterpret_cast<const uint8_t*>(d.data()), d.size());
        case Family::Unknown: break;
    }
    return false;
}

}  // namespace

const char* ContentVerdictText(ContentVerdict verdict) {
    switch (verdict) {
        case ContentVerdict::Matches: return "matches";
        case ContentVerdict::DoesNotMatch: return "does not match";
        case ContentVerdict::UnknownType: return "unknown type";
        case ContentVerdict::NotChecked: break;
    }
    return "";
}

ContentVerdict CheckContent(const std::string& name, const uint8_t* data, size_t size) {
    Family family = FamilyOfName(name);
    if (family == Family::Unknown) return ContentVerdict::UnknownType;
    std::string_view d(reinterpret_cast<const char*>(data), std::min<size_t>(size, kContentCheckBytes));
    return MatchesFamily(family, d) ? ContentVerdict::Matches : ContentVerdict::DoesNotMatch;
}

ContentVerdict CheckNodeContent(CFileSystemParser* parser, NodeEntry* node) {
    if (!parser || !node || node->IsDirectory() || !node->name) return ContentVerdict::NotChecked;
    if (FamilyOfName(node->name) == Family::Unknown) return ContentVerdict::UnknownType;
    std::vector<uint8_t> head;
    if (!parser->ReadNodeHead(node, kContentCheckBytes, &head)) return ContentVerdict::NotChecked;
    return CheckContent(node->name, head.data(), head.size());
}
