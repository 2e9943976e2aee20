// The worker half of an undelete: writes the selected rows of a scanned drive into a
// destination folder, asking before it overwrites and reporting each result.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "app/ScanJob.h"
#include "fslib/core/NodeEntry.h"

// Questions and message boxes of the job: the GUI answers them with dialogs, the CLI on
// the terminal.
class IUndeletePrompt {
public:
    enum class Answer { Yes, No, All, Cancel };
    enum class Icon { Information, Exclamation, Error };

    virtual ~IUndeletePrompt() = default;
    // The "Confirm File Overwrite" question.
    virtual Answer ConfirmOverwrite(const std::string& text) = 0;
    // A message box; an empty caption means the program's own title.
    virtual void ShowMessage(Icon icon, const std::string& caption, const std::string& text) = 0;
};

// Flags of the running job, cleared when it starts. "All" sets overwrite-all for the
// rest of the job; "No" sets skip-this for one item.
extern std::atomic<int> g_nOverwriteAll;
extern std::atomic<int> g_nSkipThis;

struct UndeleteRequest {
    DriveEntry* drive = nullptr;        // the scanned drive: its letter and parser
    std::vector<NodeEntry*> selection;  // selected rows, in list order
    std::string destination;            // as typed
    // What the drive's letter reads (device or image); taken from the drive table when empty.
    std::string source;
    // Where to write the recovery report of the files written; none when empty.
    std::string reportPath;
    // The report replaces no file: when its path is taken once the files are written, it
    // goes to the first free "name(n).ext" instead.
    bool reportFreeName = false;
    // Each recovered file's named streams are written beside it.
    bool recoverNamedStreams = false;
};

struct UndeleteOutcome {
    bool refused = false;       // nothing was tried: destination refused or nothing selected
    bool cancelled = false;     // the user stopped the job
    uint32_t recovered = 0;     // items written
    uint32_t failed = 0;        // items (or parts of folders) that could not be written
    uint32_t skipped = 0;       // items the user answered "No" for, or with nothing to write
    bool reportFailed = false;  // a report was asked for and could not be written
};

// The worker body. Runs on the worker thread; progress goes to SetProgress.
UndeleteOutcome UndeleteSelection(const UndeleteRequest& request, IUndeletePrompt& prompt);
