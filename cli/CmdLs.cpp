// qvr ls: one folder of a scanned volume as the browser lists it.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/BrowserModel.h"
#include "cli/CliScan.h"
#include "cli/Commands.h"
#include "cli/NodeLookup.h"
#include "cli/QtMimeTypeNames.h"

namespace {

const char* const kSortNames[browser::kColumnCount] = {"name", "type",     "folder", "status",
                                                       "size", "modified", "created"};

// "size" or "size:desc" -> column and state; false for anything else.
bool ParseSort(const std::string& text, int* column, int* state) {
    std::string name = text;
    *state = browser::SORT_ASCENDING;
    size_t colon = text.find(':');
    if (colon != std::string::npos) {
        std::string order = text.substr(colon + 1);
        if (order == "desc")
            *state = browser::SORT_DESCENDING;
        else if (order != "asc")
            return false;
        name = text.substr(0, colon);
    }
    for (int c = 0; c < browser::kColumnCount; ++c)
        if (name == kSortNames[c]) {
            *column = c;
            return true;
        }
    return false;
}

// A row's name cell without the up row's padding.
std::string RowName(const CBrowserModel& model, size_t row) {
    std::string name = model.CellText(row, browser::COL_NAME);
    if (model.IsUpRow(model.Row(row))) return "..";
    return name;
}

void PrintTable(const CBrowserModel& model) {
    std::vector<std::vector<std::string>> cells;
    std::vector<std::string> header;
    for (const auto& c : browser::kColumns) header.push_back(c.title);
    cells.push_back(header);
    for (size_t r = 0; r < model.RowCount(); ++r) {
        std::vector<std::string> row;
        row.reserve(browser::kColumnCount);
        for (int c = 0; c < browser::kColumnCount; ++c)
            row.push_back(c == browser::COL_NAME ? RowName(model, r) : model.CellText(r, c));
        cells.push_back(row);
    }
    std::vector<size_t> width(browser::kColumnCount, 0);
    for (const auto& row : cells)
        for (int c = 0; c < browser::kColumnCount; ++c) width[c] = std::max(width[c], row[c].size());
    for (const auto& row : cells) {
        std::string line;
        for (int c = 0; c < browser::kColumnCount; ++c) {
            std::string cell = row[c];
            std::string pad(width[c] - cell.size(), ' ');
            line += browser::kColumns[c].rightAligned ? pad + cell : cell + pad;
            if (c + 1 < browser::kColumnCount) line += "  ";
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        std::printf("%s\n", line.c_str());
    }
}

void PrintJson(const CBrowserModel& model, const std::string& volume, const std::string& folder) {
    nlohmann::json rows = nlohmann::json::array();
    for (size_t r = 0; r < model.RowCount(); ++r) {
        const NodeEntry* n = model.Row(r);
        rows.push_back({{"name", RowName(model, r)},
                        {"up", model.IsUpRow(n)},
                        {"type", model.CellText(r, browser::COL_TYPE)},
                        {"folder", model.CellText(r, browser::COL_FOLDER)},
                        {"status", model.CellText(r, browser::COL_STATUS)},
                        {"size", model.CellText(r, browser::COL_SIZE)},
                        {"modified", model.CellText(r, browser::COL_MODIFIED)},
                        {"created", model.CellText(r, browser::COL_CREATED)},
                        {"directory", n->IsDirectory()},
                        {"key", n->key},
                        {"bytes", n->size}});
    }
    nlohmann::json doc = {{"volume", volume},
                          {"folder", folder},
                          {"filesFilter", model.FilesFilter()},
                          {"foldersFilter", model.FoldersFilter()},
                          {"filesMatched", model.FilesMatched()},
                          {"foldersMatched", model.FoldersMatched()},
                          {"rows", rows},
                          {"statusText", model.StatusText()}};
    std::string text = doc.dump(1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::printf("%s\n", text.c_str());
}

}  // namespace

int CmdLs(int argc, char** argv) {
    std::string volume, folder = "/", files = browser::kInitialFilesFilter, folders = browser::kInitialFoldersFilter;
    bool json = false, folderGiven = false;
    int sortColumn = 0, sortState = browser::SORT_NONE;
    ScanOptions options;
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](const char* option) -> const char* {
            if (i + 1 < argc) return argv[++i];
            std::fprintf(stderr, "qvr ls: %s needs a value\n", option);
            return nullptr;
        };
        if (a == "--json") {
            json = true;
        } else if (a == "--orphans") {
            options.attachOrphans = true;
        } else if (a == "--files" || a == "--folders" || a == "--sort") {
            const char* v = value(a.c_str());
            if (!v) return kExitUsage;
            if (a == "--files")
                files = v;
            else if (a == "--folders")
                folders = v;
            else if (!ParseSort(v, &sortColumn, &sortState)) {
                std::fprintf(stderr,
                             "qvr ls: --sort takes name, type, folder, status, size, modified or created, "
                             "optionally with :desc\n");
                return kExitUsage;
            }
        } else if (!a.empty() && a[0] != '-' && volume.empty()) {
            volume = a;
        } else if (!a.empty() && a[0] != '-' && !folderGiven) {
            folder = a;
            folderGiven = true;
        } else {
            std::fprintf(stderr, "qvr ls: unexpected argument %s\n", a.c_str());
            return kExitUsage;
        }
    }
    if (volume.empty()) {
        std::fprintf(stderr,
                     "usage: qvr ls VOLUME [FOLDER] [--files PATTERN] [--folders PATTERN] "
                     "[--sort COLUMN[:desc]] [--json] [--orphans]\n");
        return kExitUsage;
    }
    CliScanResult result;
    int exitStatus = kExitFailure;
    if (!ScanVolumeForTree(volume, options, &result, &exitStatus)) return exitStatus;

    NodeEntry* target = nullptr;
    for (NodeEntry* n : FindNodesByPath(result.entry.parser->GetRoot(), folder))
        if (n == result.entry.parser->GetRoot() || n->IsDirectory()) {
            target = n;
            break;
        }
    if (!target) {
        std::fprintf(stderr, "qvr ls: %s: no such folder on %s\n", folder.c_str(), volume.c_str());
        return kExitFailure;
    }

    CQtMimeTypeNames types;
    CBrowserModel model(&types);
    model.SelectDrive(&result.entry);
    model.OnScanFinished();
    if (target != result.entry.parser->GetRoot()) model.EnterFolder(target);
    // Filters typed on the command line are edits: "*.*" lists every name.
    model.ApplyFilters(files, folders);
    if (sortState != browser::SORT_NONE) model.SetSort(sortColumn, sortState);

    if (json)
        PrintJson(model, volume, folder);
    else {
        PrintTable(model);
        std::printf("%s\n", model.StatusText().c_str());
    }
    std::fflush(stdout);
    return ReportScanOutcome(volume, result);
}
