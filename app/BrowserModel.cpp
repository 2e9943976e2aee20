#include "app/BrowserModel.h"

#include <cmath>
#include <cstring>

#include "common/logger/Logger.h"
#include "fslib/core/RecoveryTarget.h"
#include "fslib/core/RecycleBin.h"
#include "fslib/core/RecycleBinVista.h"

namespace {

int Sign(int64_t v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

int DamagePercent(float level) {
    if (std::isnan(level)) return 0;
    if (level > 1000.0f) return 100000;
    if (level < -1000.0f) return -100000;
    return static_cast<int>(level * 100.0f);
}

// An item of a later bin, live or deleted, listed under its old name when its record is
// found.
bool IsVistaBinCandidate(const NodeEntry* child) { return child->path && recyclebin::IsVistaBinItem(child); }

// A Recycle Bin item is filtered by its name and folder from before deletion (the
// counts of matched rows do not change); a binned folder by the folders filter.
template <typename Append>
void AppendRecycleBinItem(NodeEntry* item, const std::string& filesFilter, const std::string& foldersFilter,
                          Append& append) {
    using browser::MatchWildcard;
    std::string binFolder, name, extension;
    browser::SplitPath(item->pathBeforeDeletion ? item->pathBeforeDeletion : "", &binFolder, &name, &extension);
    const bool shown = item->IsDirectory() ? MatchWildcard((name + extension).c_str(), foldersFilter.c_str()) != 0
                                           : MatchWildcard((name + extension).c_str(), filesFilter.c_str()) &&
                                                 MatchWildcard(binFolder.c_str(), foldersFilter.c_str());
    if (shown) append(item);
}

}  // namespace

CBrowserModel::CBrowserModel(ITypeNameProvider* typeNames) : m_pTypeNames(typeNames) {}

CBrowserModel::~CBrowserModel() = default;

CBrowserModel::DriveListing& CBrowserModel::ListingOf(DriveEntry* drive) {
    DriveListing& listing = m_listings[drive];
    const NodeEntry* root = drive->parser ? drive->parser->GetRoot() : nullptr;
    if (listing.root != root) {
        listing.root = root;
        listing.dwDeletedCount = 0;
        listing.pCurrentFolder = listing.pUpFolder = nullptr;
    }
    return listing;
}

const CBrowserModel::DriveListing* CBrowserModel::FindListing(const DriveEntry* drive) const {
    auto it = m_listings.find(drive);
    if (it == m_listings.end() || !drive->parser || it->second.root != drive->parser->GetRoot()) return nullptr;
    return &it->second;
}

void CBrowserModel::ClearListing(DriveEntry* drive) {
    drive->listedNodes.clear();
    DriveListing& listing = ListingOf(drive);
    listing.upRows.clear();
    listing.dwDeletedCount = 0;
}

void CBrowserModel::ForgetTree(DriveEntry* drive) {
    if (!drive) return;
    drive->listedNodes.clear();
    m_listings.erase(drive);
}

uint32_t CBrowserModel::DeletedCount() const {
    const DriveListing* listing = m_pDrive ? FindListing(m_pDrive) : nullptr;
    return listing ? listing->dwDeletedCount : 0;
}

NodeEntry* CBrowserModel::CurrentFolder() const {
    const DriveListing* listing = m_pDrive ? FindListing(m_pDrive) : nullptr;
    if (listing && listing->pCurrentFolder) return listing->pCurrentFolder;
    return m_pDrive && m_pDrive->parser ? m_pDrive->parser->GetRoot() : nullptr;
}

NodeEntry* CBrowserModel::UpFolder() const {
    const DriveListing* listing = m_pDrive ? FindListing(m_pDrive) : nullptr;
    if (listing && listing->pUpFolder) return listing->pUpFolder;
    return m_pDrive && m_pDrive->parser ? m_pDrive->parser->GetRoot() : nullptr;
}

void CBrowserModel::FillCurrentFolder(DriveEntry* drive, const std::string& filesFilter,
                                      const std::string& foldersFilter, std::vector<NodeEntry*>* out,
                                      NodeEntry* folder) {
    using browser::MatchWildcard;
    m_dwFilesMatched = m_dwFoldersMatched = 0;
    m_bUpRowShown = 0;
    if (!drive || !drive->parser || !folder || !out) return;
    CFileSystemParser* parser = drive->parser.get();
    DriveListing& listing = ListingOf(drive);
    auto append = [out](NodeEntry* n) {
        if (out->size() == out->capacity()) out->reserve(out->capacity() + browser::kListingGrowth);
        out->push_back(n);
    };
    // Children show the folder they are listed in, from the volume root.
    const std::string prefix = FolderPathFromRoot(folder);
    // Without one of its own the model reads the scanned volume's bin indexes.
    const RecycleBinLookup lookup = m_lookup ? m_lookup : VolumeRecycleBinLookup(drive);

    if (folder != parser->GetRoot()) {
        m_bUpRowShown = 1;
        NodeEntry* upFolder = listing.pUpFolder ? listing.pUpFolder : parser->GetRoot();
        auto up = std::make_unique<NodeEntry>(upFolder->key, recovery::kUpFolderRowName, upFolder->attributes, 1);
        up->attributes = FILE_ATTRIBUTE_DIRECTORY;
        up->size = upFolder->size;
        up->modifiedTime = upFolder->modifiedTime;
        up->createdTime = upFolder->createdTime;
        up->parent = upFolder;
        up->SetPath(prefix.c_str());
        ++listing.dwDeletedCount;
        append(up.get());
        listing.upRows.push_back(std::move(up));
    }
    for (NodeEntry* child : folder->Children()) {
        if (!child->path) child->SetPath(prefix.c_str());
        if (!child->name) continue;
        if (IsVistaBinCandidate(child) && lookup(drive->letter, child)) {
            ++listing.dwDeletedCount;
            AppendRecycleBinItem(child, filesFilter, foldersFilter, append);
            continue;
        }
        if (child->isDeleted) {
            ++listing.dwDeletedCount;
            if (child->IsDirectory()) {
                if (MatchWildcard(child->name, foldersFilter.c_str())) {
                    ++m_dwFoldersMatched;
                    append(child);
                }
            } else if (MatchWildcard(child->name, filesFilter.c_str())) {
                ++m_dwFilesMatched;
                append(child);
            }
            continue;
        }
        if (!recyclebin::IsInfo2BinFile(child) || !lookup(drive->letter, child)) continue;
        ++listing.dwDeletedCount;
        AppendRecycleBinItem(child, filesFilter, foldersFilter, append);
    }
}

void CBrowserModel::Refill() {
    if (!m_pDrive || !m_pDrive->parser) return;
    ClearListing(m_pDrive);
    NodeEntry* folder = CurrentFolder();
    FillCurrentFolder(m_pDrive, m_szFilesFilter, m_szFoldersFilter, &m_pDrive->listedNodes, folder);
    Sort();
}

void CBrowserModel::OnScanFinished() {
    if (!m_pDrive || !m_pDrive->parser) return;
    DriveListing& listing = ListingOf(m_pDrive);
    listing.pCurrentFolder = listing.pUpFolder = m_pDrive->parser->GetRoot();
    browser::NormalizeFiltersAfterScan(&m_szFilesFilter, &m_szFoldersFilter);
    Refill();
}

void CBrowserModel::ApplyFilters(const std::string& filesFilter, const std::string& foldersFilter) {
    if (!m_pDrive || !m_pDrive->parser) return;
    m_szFilesFilter = filesFilter;
    m_szFoldersFilter = foldersFilter;
    browser::NormalizeFiltersOnEdit(&m_szFilesFilter, &m_szFoldersFilter);
    Refill();
}

void CBrowserModel::ClearFilters() { ApplyFilters(browser::kInitialFilesFilter, ""); }

void CBrowserModel::SetSort(int column, int state) {
    if (column < 0 || column >= browser::kColumnCount) return;
    m_bSortColumn = static_cast<uint8_t>(column);
    m_nSortState = state;
    Sort();
}

void CBrowserModel::ClickColumn(int column) {
    if (column < 0 || column >= browser::kColumnCount) return;
    int state = (m_nSortState == browser::SORT_ASCENDING && m_bSortColumn == column) ? browser::SORT_DESCENDING
                                                                                     : browser::SORT_ASCENDING;
    SetSort(column, state);
}

int CBrowserModel::Compare(const SortItem& a, const SortItem& b) const {
    using namespace browser;
    int result = 0;
    switch (m_bSortColumn) {
        case COL_NAME:
        case COL_TYPE:
        case COL_FOLDER: result = a.key.compare(b.key); break;
        case COL_STATUS:
            if (a.node->isDeleted != b.node->isDeleted)
                result = a.node->isDeleted - b.node->isDeleted;
            else if (a.node->isDeleted)
                result = DamagePercent(a.node->damageLevel) - DamagePercent(b.node->damageLevel);
            break;
        case COL_SIZE: result = a.node->size < b.node->size ? -1 : (a.node->size > b.node->size ? 1 : 0); break;
        case COL_MODIFIED:
            result = a.node->modifiedTime < b.node->modifiedTime ? -1 : (a.node->modifiedTime > b.node->modifiedTime);
            break;
        case COL_CREATED:
            result = a.node->createdTime < b.node->createdTime ? -1 : (a.node->createdTime > b.node->createdTime);
            break;
        default: break;
    }
    result = Sign(result);
    return m_nSortState == SORT_DESCENDING ? -result : result;
}

void CBrowserModel::QuickSort(std::vector<SortItem>& rows, long lo, long hi) const {
    // Middle element as pivot; the smaller side recurses, so the stack stays shallow.
    while (lo < hi) {
        const SortItem pivot = rows[lo + (hi - lo) / 2];
        long i = lo, j = hi;
        while (i <= j) {
            while (i <= hi && Compare(rows[i], pivot) < 0) ++i;
            while (j >= lo && Compare(rows[j], pivot) > 0) --j;
            if (i <= j) std::swap(rows[i++], rows[j--]);
        }
        if (j - lo < hi - i) {
            QuickSort(rows, lo, j);
            lo = i;
        } else {
            QuickSort(rows, i, hi);
            hi = j;
        }
    }
}

void CBrowserModel::Sort() {
    if (!m_pDrive || m_nSortState == browser::SORT_NONE || m_pDrive->listedNodes.size() < 2) return;
    std::vector<NodeEntry*>& listed = m_pDrive->listedNodes;
    // The text columns compare the lower-case name parts: each row's part is made once
    // per sort, not once per comparison.
    int part = -1;
    if (m_bSortColumn == browser::COL_NAME) part = browser::PART_NAME;
    if (m_bSortColumn == browser::COL_TYPE) part = browser::PART_EXTENSION;
    if (m_bSortColumn == browser::COL_FOLDER) part = browser::PART_FOLDER;
    std::vector<SortItem> rows(listed.size());
    for (size_t i = 0; i < listed.size(); ++i) {
        rows[i].node = listed[i];
        if (part >= 0) rows[i].key = browser::GetNodeNamePart(listed[i], part);
    }
    QuickSort(rows, 0, static_cast<long>(rows.size()) - 1);
    for (size_t i = 0; i < rows.size(); ++i) listed[i] = rows[i].node;
}

void CBrowserModel::EnterFolder(NodeEntry* folder) {
    if (!m_pDrive || !m_pDrive->parser || !folder) return;
    DriveListing& listing = ListingOf(m_pDrive);
    listing.pCurrentFolder = folder;
    listing.pUpFolder = folder->parent ? folder->parent : m_pDrive->parser->GetRoot();
    Refill();
}

CBrowserModel::Activation CBrowserModel::Activate(long row) {
    NodeEntry* node = row >= 0 ? Row(static_cast<size_t>(row)) : nullptr;
    if (!node || !m_pDrive || !m_pDrive->parser || !node->IsDirectory()) return Activation::Undelete;
    NodeEntry* root = m_pDrive->parser->GetRoot();
    DriveListing& listing = ListingOf(m_pDrive);
    Activation done;
    if (IsUpRow(node)) {
        NodeEntry* target = node->parent ? node->parent : root;
        listing.pCurrentFolder = target;
        listing.pUpFolder = target->parent ? target->parent : root;
        g_Logger.Info("FileTree Navigation: Back folder movement.");
        done = Activation::WentUp;
    } else {
        listing.pUpFolder = listing.pCurrentFolder ? listing.pCurrentFolder : root;
        listing.pCurrentFolder = node;
        g_Logger.Info("FileTree Navigation: Select folder movement.");
        done = Activation::EnteredFolder;
    }
    // The ".." row goes with the old listing: nothing of it is used from here on.
    ApplyFilters(m_szFilesFilter, m_szFoldersFilter);
    return done;
}

size_t CBrowserModel::RowCount() const { return m_pDrive ? m_pDrive->listedNodes.size() : 0; }

NodeEntry* CBrowserModel::Row(size_t row) const {
    if (!m_pDrive || row >= m_pDrive->listedNodes.size()) return nullptr;
    return m_pDrive->listedNodes[row];
}

bool CBrowserModel::IsUpRow(const NodeEntry* node) const {
    auto it = m_listings.find(m_pDrive);
    if (!node || it == m_listings.end()) return false;
    for (const auto& up : it->second.upRows)
        if (up.get() == node) return true;
    return false;
}
