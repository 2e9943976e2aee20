// The walk of the NTFS scan over every MFT record: a node for each named record, live or
// deleted, hung under the node of its parent folder, parents read and made on demand. An
// entry whose parent cannot take it goes under a folder made up for the parent's number.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "fslib/core/NodeEntry.h"
#include "fslib/ntfs/MFTRecord.h"
#include "fslib/ntfs/NtfsLayout.h"

class CNTFSParser;

class NTFSTreeBuilder {
public:
    // Builds under root from the parser's records 16 to recordCount - 1.
    NTFSTreeBuilder(CNTFSParser* parser, NodeEntry* root, uint32_t recordCount);
    NTFSTreeBuilder(const NTFSTreeBuilder&) = delete;
    NTFSTreeBuilder& operator=(const NTFSTreeBuilder&) = delete;

    // The record map and the holder of made-up folders; false when memory runs out.
    bool Allocate();
    // 0, USER_BREAK_STATUS, or -1 when an exception ended the walk. attachOrphans: the
    // made-up folders join the root; otherwise they are dropped with what they hold.
    int Build(int scale, bool attachOrphans);
    // Nodes placed under a parent, the made-up folders included once they joined the root.
    uint32_t PlacedNodes() const { return m_dwPlaced; }

private:
    struct Stats {
        uint32_t processed = 0;  // drives the progress
        uint32_t normalFiles = 0, normalFolders = 0, totalFiles = 0, totalFolders = 0;
    };

    int WalkRecords(int scale);
    void ReportProgress(int scale);
    // Makes and places the node of record n (and those of its other names); false on a
    // user break.
    bool AddRecord(uint32_t n);
    void LogRecordDump();
    // Makes the node of a located record; inWalk marks the log lines of the parent walk.
    NodeEntry* MakeNode(CMFTRecord& record, uint32_t n, bool inWalk);
    // Places the pending node under the node of its parent, reading and making parent
    // folders on demand; false on a user break (the pending node then stays unplaced).
    bool PlaceUnderParent(NodeEntry* pending, uint32_t parent);
    // Reads the record of a parent not met yet and makes its node; null when the record
    // cannot be used.
    NodeEntry* MakeParentNode(uint32_t parent);
    void Attach(NodeEntry* child, NodeEntry* parent);
    // Hangs the pending node under the made-up folder of a parent that cannot be used.
    void PlaceOrphan(NodeEntry* pending, uint32_t parentNumber);
    // A file with several names (hard links) gets a node under each of its folders.
    bool PlaceLinkNodes(uint32_t n, const NodeEntry* node, uint32_t mainParent);
    int AttachOrphans();
    // Frees the build's structures and logs the counts.
    void Finish();
    // What an interrupted build leaves behind that no tree owns.
    void Discard();

    CNTFSParser* m_pParser;
    NodeEntry* m_pRoot;
    const uint32_t m_dwCount;
    std::vector<NodeEntry*> m_lpDirMap;  // record number -> its node
    std::unique_ptr<NodeEntry> m_pOrphans;
    std::unordered_map<uint32_t, NodeEntry*> m_madeUp;  // missing parent number -> its folder
    uint32_t m_dwOrphanPlacements = 0;                  // counted once the folders join the tree
    NodeEntry* m_pUnplaced = nullptr;                   // the pending node of an interrupted walk
    uint32_t m_dwPlaced = 0;
    Stats m_stats;
    int m_nLastProgress = -1;
    uint32_t m_dwCurrent = 0;
    bool m_bInWalk = false;
    uint8_t m_recordBuffer[ntfs::kMaxRecordSize];
    uint8_t m_parentBuffer[ntfs::kMaxRecordSize];
    // One object each for the records and their parents: their name buffers are reused.
    CMFTRecord m_record;
    CMFTRecord m_parentRecord;
};
