// Texts of the main window: string-table entries and message texts, exactly as shown.
#pragma once

namespace text {

constexpr const char* kAboutMenuItem = "&About Quenvar...";                                // 101
constexpr const char* kDriveReady = " Drive %c: is ready for scanning for deleted files";  // 32787
constexpr const char* kDriveNotSupportedStatus = "Drive %c: undelete not supported\n";     // 32788
constexpr const char* kCurrentFolderStatus =
    " Current folder of drive %c: has %d deleted structures, %d files and %d folders match filter";  // 32789
constexpr const char* kScanningDrive = " Scanning drive %c: ";                                       // 32790
constexpr const char* kRecoveringFiles = " Recovering files";
constexpr const char* kInvitation = "Select drive to scan for deleted files and click the Scan button";
constexpr const char* kNotSupportedPanel = "Drive %c: undelete is not supported";
constexpr const char* kScanButton = "Scan %c:";
constexpr const char* kRescanButton = "Rescan %c:";
constexpr const char* kCancel = "Cancel";

constexpr const char* kLoggingModeCaption = "Logging Mode";
constexpr const char* kLoggingModeText =
    "Log of operations will be created during the recovery process.\n\nDo you want to proceed in logging mode?\n\n";
constexpr const char* kLogDefaultName = "log_qvu.log";
constexpr const char* kLogFilter = "Log Files (*.log);;All Files (*)";

constexpr const char* kErrorDriveStrings = "Error Getting Logical DriveStrings!";
constexpr const char* kCantOpenDisk = "Can`t open disk";

constexpr const char* kLoadFailed = "Could not load MVCMN.DLL or incorrect DLL version";
constexpr const char* kInternalProductError = "Internal product error. Please contact software developers.";
constexpr const char* kInternalShellError = "Internal shell error. Please contact software developers.";

constexpr const char* kConfirmOverwriteCaption = "Confirm File Overwrite";
constexpr const char* kSelectFilePlease = "Select file please";

}  // namespace text
