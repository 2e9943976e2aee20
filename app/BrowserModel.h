// The deleted-files browser without its window: the rows of the current folder of a
// scanned drive, filtered by two wildcard patterns, sorted by column, with a ".." row
// leading back up, and the text of every cell.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/ScanJob.h"
#include "app/TypeNameProvider.h"
#include "fslib/core/NodeEntry.h"

namespace browser {

constexpr int kColumnCount = 7;
enum Column { COL_NAME = 0, COL_TYPE, COL_FOLDER, COL_STATUS, COL_SIZE, COL_MODIFIED, COL_CREATED };
struct ColumnInfo {
    const char* title;  // header text as the string table holds it
    int stringId;
    int width;  // pixels
    bool rightAligned;
};
extern const ColumnInfo kColumns[kColumnCount];

enum NamePart { PART_NAME = 0, PART_FOLDER = 1, PART_EXTENSION = 2 };
enum SortState { SORT_NONE = 0, SORT_ASCENDING = 1, SORT_DESCENDING = 2 };

constexpr const char* kInitialFilesFilter = "*.*";
constexpr const char* kInitialFoldersFilter = "*";
// Rows are added to the listing in steps of this many slots.
constexpr size_t kListingGrowth = 1000;

// Nonzero when the name matches the pattern ('*' and '?', letter case ignored).
int MatchWildcard(const char* name, const char* pattern);
// The two normalisations: right after a scan, and when the user edits the filters.
void NormalizeFiltersAfterScan(std::string* files, std::string* folders);
void NormalizeFiltersOnEdit(std::string* files, std::string* folders);

// A file in a Recycle Bin folder whose path before deletion is known: a live one, or a
// deleted item of a later bin whose record could still be read.
bool IsRecycleBinItem(const NodeEntry* node);
// Folder (with its trailing separator), file name and extension (with its dot) of a path.
void SplitPath(const std::string& path, std::string* folder, std::string* name, std::string* extension);
// The file name (0), folder (1) or extension (2) of a node, in lower case.
std::string GetNodeNamePart(const NodeEntry* node, int part);

// The word for a damage level: "Good" (0), "Poor" (1), "Average" (anything else). The list,
// the recovery report and qvr all say it this way.
const char* DamageLevelWord(float level);
std::string DamageWord(const NodeEntry* node);  // the level's word for a deleted node, or "RecBin"
std::string SizeText(uint64_t size);            // "%lld KB", 1..1023 bytes give 1
std::string TimeText(FILETIME utc);             // local "%02d.%02d.%04d %2d:%02d" or "Unknown"

}  // namespace browser

class CBrowserModel {
public:
    // Looks a Recycle Bin file's path before deletion up (GetBeforeDeletingName).
    using RecycleBinLookup = std::function<bool(char driveLetter, NodeEntry* node)>;
    // The lookup for a scanned drive: through its mount point, else through its parser
    // (FAT files are read by their clusters, others through file handles).
    static RecycleBinLookup VolumeRecycleBinLookup(DriveEntry* drive);

    explicit CBrowserModel(ITypeNameProvider* typeNames = nullptr);
    ~CBrowserModel();
    CBrowserModel(const CBrowserModel&) = delete;
    CBrowserModel& operator=(const CBrowserModel&) = delete;

    // Replaces the default lookup, VolumeRecycleBinLookup of the drive being listed.
    void SetRecycleBinLookup(RecycleBinLookup lookup) { m_lookup = std::move(lookup); }

    // The drive whose listing is shown; its listing is kept as it is.
    void SelectDrive(DriveEntry* drive) { m_pDrive = drive; }
    DriveEntry* Drive() const { return m_pDrive; }

    // A scan of the current drive ended: both folders back to the root, filters
    // normalised, the root listed and sorted.
    void OnScanFinished();

    // Appends the rows of `folder` to *out and updates the counts.
    void FillCurrentFolder(DriveEntry* drive, const std::string& filesFilter, const std::string& foldersFilter,
                           std::vector<NodeEntry*>* out, NodeEntry* folder);
    // Normalises the filters, refills the current folder and sorts.
    void ApplyFilters(const std::string& filesFilter, const std::string& foldersFilter);
    // Takes the window's filter texts as they stand, for the next OnScanFinished.
    void SetFilterStrings(const std::string& filesFilter, const std::string& foldersFilter) {
        m_szFilesFilter = filesFilter;
        m_szFoldersFilter = foldersFilter;
    }
    // "Clear filter": files "*.*", folders empty, then applied.
    void ClearFilters();

    // Column click: ascending, or descending when the column is already ascending.
    void ClickColumn(int column);
    void Sort();
    void SetSort(int column, int state);

    enum class Activation { None, EnteredFolder, WentUp, Undelete };
    // Double click on a row (-1: no row).
    Activation Activate(long row);
    // Lists `folder` (a folder node of the current drive's tree) as if entered from above.
    void EnterFolder(NodeEntry* folder);
    // The drive's tree is about to be freed: its listing goes, and its current and up
    // folders go back to the root.
    void ForgetTree(DriveEntry* drive);

    size_t RowCount() const;
    NodeEntry* Row(size_t row) const;
    bool IsUpRow(const NodeEntry* node) const;
    std::string CellText(size_t row, int column) const;
    std::string StatusText() const;

    const std::string& FilesFilter() const { return m_szFilesFilter; }
    const std::string& FoldersFilter() const { return m_szFoldersFilter; }
    uint32_t FilesMatched() const { return m_dwFilesMatched; }
    uint32_t FoldersMatched() const { return m_dwFoldersMatched; }
    bool UpRowShown() const { return m_bUpRowShown != 0; }
    // Rows counted by the current drive's latest fill, the ".." row included.
    uint32_t DeletedCount() const;
    // The folder whose content is listed, and where the ".." row leads (the root until
    // navigation moves them).
    NodeEntry* CurrentFolder() const;
    NodeEntry* UpFolder() const;
    int SortStateValue() const { return m_nSortState; }
    int SortColumn() const { return m_bSortColumn; }

private:
    // What the model keeps per drive: where the browser stands in the drive's tree, and
    // the ".." rows of its listing.
    struct DriveListing {
        const NodeEntry* root = nullptr;  // root of the tree the folders below belong to
        uint32_t dwDeletedCount = 0;
        NodeEntry* pCurrentFolder = nullptr;  // null: the root
        NodeEntry* pUpFolder = nullptr;       // null: the root
        std::vector<std::unique_ptr<NodeEntry>> upRows;
    };
    // The drive's listing; a drive whose parser was replaced starts again at its root.
    DriveListing& ListingOf(DriveEntry* drive);
    const DriveListing* FindListing(const DriveEntry* drive) const;
    void ClearListing(DriveEntry* drive);
    void Refill();
    // A row and, for the text columns, the name part it is sorted by.
    struct SortItem {
        NodeEntry* node = nullptr;
        std::string key;
    };
    int Compare(const SortItem& a, const SortItem& b) const;
    void QuickSort(std::vector<SortItem>& rows, long lo, long hi) const;

    ITypeNameProvider* m_pTypeNames;
    RecycleBinLookup m_lookup;
    DriveEntry* m_pDrive = nullptr;
    std::map<const DriveEntry*, DriveListing> m_listings;
    std::string m_szFilesFilter = browser::kInitialFilesFilter;
    std::string m_szFoldersFilter = browser::kInitialFoldersFilter;
    uint32_t m_dwFilesMatched = 0;
    uint32_t m_dwFoldersMatched = 0;
    uint8_t m_bUpRowShown = 0;
    int m_nSortState = browser::SORT_NONE;
    uint8_t m_bSortColumn = 0;
};
