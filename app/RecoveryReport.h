// The recovery report: per file written by an undelete, where it came from (path and
// key), where it went, its size and SHA-256, the damage word, the content check of its
// first bytes and the ranges written as zeros because they could not be read. JSON.
#pragma once

#include <string>
#include <vector>

#include "fslib/core/RecoveredFiles.h"

// The file name the desktop program writes into the destination folder.
constexpr const char* kRecoveryReportName = "recovery-report.json";

// SHA-256 of a file's bytes as 64 lower-case hex digits; "" when it cannot be read.
std::string FileSha256(const std::string& path);

// Writes the report to `path` (replacing it). `volume` is what was scanned (the image or
// device), `filesystem` its name. False with *error set when it cannot be written.
bool WriteRecoveryReport(const std::string& path, const std::string& volume, const char* filesystem,
                         const std::string& destination, const std::vector<recovery::WrittenFile>& files,
                         std::string* error);
