// What the scanning subcommands share: naming a volume, and running the scan job on a
// worker thread with progress on stderr and Ctrl-C as the Cancel button.
#pragma once

#include <string>

#include "app/ScanJob.h"

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// VOLUME is a drive letter ("E:" or "E"), a block device or an image file; a device or
// image not in the drive table is entered under the next free letter. 0 with a message
// on stderr when it names nothing usable.
char ResolveVolume(const std::string& volume);

struct CliScanResult {
    DriveEntry entry;
    int scanResult = -1;      // ScanDrive's result
    bool opened = false;      // the volume opened and its file system was recognised
    bool openFailed = false;  // the volume itself could not be opened
};

// Runs ScanDrive for the letter. Progress goes to stderr as a bar when it is a terminal.
// Ctrl-C sets UserBreak; the tree found so far stays in the result.
void RunCliScan(char letter, const ScanOptions& options, CliScanResult* out);

// ResolveVolume then RunCliScan, for the commands that need a tree: false, with the exit
// status in *exitStatus and the reason on stderr, when the volume names nothing usable or
// the scan gave no tree.
bool ScanVolumeForTree(const std::string& volume, const ScanOptions& options, CliScanResult* out, int* exitStatus);

// Prints why a scan gave no tree (or an incomplete one) to stderr; returns the exit status.
int ReportScanOutcome(const std::string& volume, const CliScanResult& result);

// Why the volume under the letter did not open, as both front ends word it: "cannot be
// opened: " and the cause.
std::string NotOpenedText(char letter);
