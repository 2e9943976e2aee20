// qvr scan: the tree of live and deleted entries of a volume, as text or JSON.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/BrowserModel.h"
#include "app/ContentCheck.h"
#include "cli/CliScan.h"
#include "cli/Commands.h"
#include "platform/Time.h"

namespace {

nlohmann::json TimeValue(FILETIME ft) {
    std::string iso = platform::FileTimeToIso8601(ft);
    return iso.empty() ? nlohmann::json(nullptr) : nlohmann::json(iso);
}

// Text lines gathered into large writes: a scan prints a line per entry, and a tree
// can have millions of them.
class LineWriter {
public:
    ~LineWriter() { Flush(); }
    LineWriter& operator<<(std::string_view s) {
        m_text.append(s);
        return *this;
    }
    LineWriter& operator<<(uint64_t v) {
        char digits[24];
        m_text.append(digits, std::to_chars(digits, digits + sizeof digits, v).ptr);
        return *this;
    }
    void Indent(size_t count) { m_text.append(count, ' '); }
    void EndLine() {
        m_text += '\n';
        if (m_text.size() >= kFlushAt) Flush();
    }
    void Flush() {
        std::fwrite(m_text.data(), 1, m_text.size(), stdout);
        m_text.clear();
    }

private:
    static constexpr size_t kFlushAt = size_t{64} * 1024;
    std::string m_text;
};

// Depth-first over the tree, in child order, with each node's path from the root.
// Iterative: the tree of a hostile volume may be deeper than the stack.
template <typename Visit>
void WalkTree(NodeEntry* root, Visit visit) {
    struct Frame {
        NodeEntry* next;
        size_t pathLength;
    };
    std::string path;
    std::vector<Frame> stack{{root->FirstChild(), 0}};
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (!f.next) {
            stack.pop_back();
            continue;
        }
        NodeEntry* n = f.next;
        f.next = n->NextSibling();
        path.resize(f.pathLength);
        path += '/';
        path += n->name ? n->name : "";
        visit(n, path, stack.size() - 1);
        if (n->FirstChild()) stack.push_back({n->FirstChild(), path.size()});
    }
}

}  // namespace

// The options, then the scan and its outputs, read top to bottom like the usage text.
// NOLINTNEXTLINE(readability-function-size)
int CmdScan(int argc, char** argv) {
    std::string volume;
    bool json = false, deletedOnly = false, checkContent = false;
    ScanOptions options;
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--json")
            json = true;
        else if (a == "--deleted-only")
            deletedOnly = true;
        else if (a == "--orphans")
            options.attachOrphans = true;
        else if (a == "--check-content")
            checkContent = true;
        else if (!a.empty() && a[0] != '-' && volume.empty())
            volume = a;
        else {
            std::fprintf(stderr, "qvr scan: unexpected argument %s\n", a.c_str());
            return kExitUsage;
        }
    }
    if (volume.empty()) {
        std::fprintf(stderr, "usage: qvr scan VOLUME [--json] [--deleted-only] [--orphans] [--check-content]\n");
        return kExitUsage;
    }
    char letter = ResolveVolume(volume);
    if (!letter) return kExitFailure;

    CliScanResult result;
    RunCliScan(letter, options, &result);
    CFileSystemParser* parser = result.entry.parser.get();
    const char* fs = parser ? FileSystemName(parser->GetFileSystemType()) : nullptr;

    // With --deleted-only a folder is listed when something deleted lies below it, which is
    // what the marking pass left in its isDeleted byte.
    auto wanted = [&](const NodeEntry* n) { return !deletedOnly || n->isDeleted || n->scanDeleted; };
    // Only deleted files are checked: a live file's start says nothing about recovery.
    auto verdict = [&](NodeEntry* n) {
        if (!checkContent || !n->scanDeleted || n->IsDirectory()) return ContentVerdict::NotChecked;
        return CheckNodeContent(parser, n);
    };

    if (json) {
        nlohmann::json doc;
        doc["volume"] = volume;
        doc["filesystem"] = fs ? nlohmann::json(fs) : nlohmann::json(nullptr);
        doc["status"] = parser ? result.entry.scanStatus : result.scanResult;
        nlohmann::json entries = nlohmann::json::array();
        std::vector<NamedStreamInfo> streams;
        if (parser) {
            WalkTree(parser->GetRoot(), [&](NodeEntry* n, const std::string& path, size_t) {
                if (!wanted(n)) return;
                nlohmann::json entry = {{"path", path},
                                        {"key", n->key},
                                        {"directory", n->IsDirectory()},
                                        {"deleted", n->scanDeleted != 0},
                                        {"size", n->size},
                                        {"modified", TimeValue(n->modifiedTime)},
                                        {"created", TimeValue(n->createdTime)},
                                        {"damage", n->damageLevel}};
                if (n->entryDamaged) entry["entryDamaged"] = true;
                if (checkContent) {
                    ContentVerdict v = verdict(n);
                    entry["content"] = v == ContentVerdict::NotChecked ? nlohmann::json(nullptr)
                                                                       : nlohmann::json(ContentVerdictText(v));
                }
                // A deleted file's named streams, where the file system has them.
                if (n->scanDeleted && !n->IsDirectory()) {
                    parser->ListNamedStreams(n, &streams);
                    if (!streams.empty()) {
                        nlohmann::json list = nlohmann::json::array();
                        for (const NamedStreamInfo& s : streams)
                            list.push_back({{"name", s.name}, {"size", s.size}, {"damage", s.damage}});
                        entry["streams"] = std::move(list);
                    }
                }
                entries.push_back(std::move(entry));
            });
        }
        doc["entries"] = std::move(entries);
        std::string text = doc.dump(1, ' ', false, nlohmann::json::error_handler_t::replace);
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fputc('\n', stdout);
    } else if (parser) {
        LineWriter out;
        out << volume << ": " << (fs ? fs : "unknown");
        out.EndLine();
        WalkTree(parser->GetRoot(), [&](NodeEntry* n, const std::string&, size_t depth) {
            if (!wanted(n)) return;
            char when[platform::kIso8601Room];
            size_t whenLength = platform::FormatIso8601(n->modifiedTime, when);
            out.Indent(depth * 2);
            out << (n->name ? n->name : "") << (n->IsDirectory() ? "/" : "") << "  "
                << (n->scanDeleted ? "deleted" : "live") << "  " << uint64_t{n->size} << "  "
                << (whenLength ? std::string_view(when, whenLength) : std::string_view("Unknown")) << "  "
                << (n->scanDeleted && !n->IsDirectory() ? browser::DamageLevelWord(n->damageLevel)
                    : n->entryDamaged                   ? "Damaged"
                                                        : "-");
            if (checkContent) {
                ContentVerdict v = verdict(n);
                out << "  " << (v == ContentVerdict::NotChecked ? "-" : ContentVerdictText(v));
            }
            out.EndLine();
        });
    }
    std::fflush(stdout);
    return ReportScanOutcome(volume, result);
}
