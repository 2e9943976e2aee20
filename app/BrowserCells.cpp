// What the browser shows of a node: its name parts and the text of each cell.
#include <cinttypes>
#include <cstdio>

#include "app/BrowserModel.h"
#include "fslib/core/RecoveryTarget.h"
#include "platform/Time.h"

namespace browser {

namespace {

// Only this much of an extension goes into the fallback type name.
constexpr size_t kMaxTypeExtension = 49;

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

}  // namespace

const ColumnInfo kColumns[kColumnCount] = {
    {"FiIe", 32775, 120, false},        {"Type", 32776, 90, false}, {"Folder", 32783, 90, false},
    {"Status", 32784, 45, false},       {"Size", 32777, 50, false}, {"Date modified ", 32778, 100, true},
    {"Date Created", 32797, 100, true},
};

// A binned item may itself be deleted (a bin emptied since); it still shows where it came from.
bool IsRecycleBinItem(const NodeEntry* node) {
    return node && node->pathBeforeDeletion && !recovery::IsUpFolderRow(node);
}

void SplitPath(const std::string& path, std::string* folder, std::string* name, std::string* extension) {
    // Paths before deletion are Windows paths; display paths use '/'.
    size_t sep = path.find_last_of("\\/");
    std::string file = sep == std::string::npos ? path : path.substr(sep + 1);
    if (folder) *folder = sep == std::string::npos ? "" : path.substr(0, sep + 1);
    size_t dot = file.rfind('.');
    if (extension) *extension = dot == std::string::npos ? "" : file.substr(dot);
    if (name) *name = dot == std::string::npos ? file : file.substr(0, dot);
}

namespace {
// The folder and name a row shows: a Recycle Bin item's from its path before deletion.
void ShownFolderAndName(const NodeEntry* node, std::string* folder, std::string* name) {
    if (IsRecycleBinItem(node)) {
        std::string extension;
        SplitPath(node->pathBeforeDeletion, folder, name, &extension);
        *name += extension;
    } else {
        *folder = node->path ? node->path : "";
        *name = node->name ? node->name : "";
    }
}
}  // namespace

std::string GetNodeNamePart(const NodeEntry* node, int part) {
    if (!node) return {};
    std::string folder, name, extension;
    ShownFolderAndName(node, &folder, &name);
    SplitPath(name, nullptr, nullptr, &extension);
    switch (part) {
        case PART_NAME: return Lower(name);
        case PART_FOLDER: return Lower(folder);
        case PART_EXTENSION: return Lower(extension);
        default: return {};
    }
}

const char* DamageLevelWord(float level) {
    // Only the two ends of the estimate are sure; everything between, NaN included, is "Average".
    if (level == 1.0f) return "Poor";
    if (level == 0.0f) return "Good";
    return "Average";
}

std::string DamageWord(const NodeEntry* node) {
    // A deleted binned file says how much of it is left; folders carry no estimate.
    if (IsRecycleBinItem(node) && (!node->isDeleted || node->IsDirectory())) return "RecBin";
    if (!node->isDeleted) return "";
    return DamageLevelWord(node->damageLevel);
}

std::string SizeText(uint64_t size) {
    uint64_t kb = size == 0 ? 0 : (size < 1024 ? 1 : size / 1024);
    char text[32];
    std::snprintf(text, sizeof text, "%" PRIu64 " KB", kb);
    return text;
}

std::string TimeText(FILETIME utc) {
    FILETIME local = 0;
    platform::SYSTEMTIME st{};
    if (utc == 0 || !platform::FileTimeToLocalFileTime(utc, &local) || !platform::FileTimeToSystemTime(local, &st))
        return "Unknown";
    if (st.wDay >= 32 || st.wMonth >= 13 || st.wHour >= 24 || st.wMinute >= 60) return "Unknown";
    char text[64];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d %2d:%02d", st.wDay, st.wMonth, st.wYear, st.wHour, st.wMinute);
    return text;
}

}  // namespace browser

std::string CBrowserModel::CellText(size_t row, int column) const {
    using namespace browser;
    NodeEntry* node = Row(row);
    if (!node) return {};
    std::string folder, name, extension;
    ShownFolderAndName(node, &folder, &name);
    if (IsUpRow(node)) return column == COL_NAME ? name : std::string();
    switch (column) {
        case COL_NAME: return name;
        case COL_TYPE: {
            std::string type = m_pTypeNames ? m_pTypeNames->TypeName(name, node->attributes) : std::string();
            if (!type.empty()) return type;
            SplitPath(name, nullptr, nullptr, &extension);
            if (extension.size() <= 1) return "File";
            return "File \"" + extension.substr(1, kMaxTypeExtension) + "\"";
        }
        case COL_FOLDER: return folder;
        case COL_STATUS: return DamageWord(node);
        case COL_SIZE: return SizeText(node->size);
        case COL_MODIFIED: return TimeText(node->modifiedTime);
        case COL_CREATED: return TimeText(node->createdTime);
        default: return {};
    }
}

std::string CBrowserModel::StatusText() const {
    if (!m_pDrive || !m_pDrive->parser) return {};
    char text[256];
    std::snprintf(text, sizeof text,
                  " Current folder of drive %c: has %d deleted structures, %d files and %d folders match filter",
                  m_pDrive->letter, static_cast<int>(DeletedCount() - m_bUpRowShown),
                  static_cast<int>(m_dwFilesMatched), static_cast<int>(m_dwFoldersMatched));
    return text;
}
