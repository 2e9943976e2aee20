// "Diagnostics...": asks whether to make the diagnostics report, lets the user choose
// where to save the archive and has the runtime library write it there. Nothing is sent.
#pragma once

class QWidget;
namespace runtime {
class CRuntimeLibrary;
}

namespace diagnostics {

constexpr const char* kCaption = "Morvant Diagnostics";  // 32792
constexpr const char* kQuestion =                        // 32791
    "You are about to perform diagnostics of your system. The diagnostic\nroutine will create a report on your "
    "system and email it to support staff\nfor analysis. \n\nDo you want to proceed?";
constexpr const char* kFilter = "ZIP Archives (*.zip);;All Files (*)";  // 32793
constexpr const char* kDefaultName = "mvdiag.zip";

}  // namespace diagnostics

// The whole flow, owned by `owner`. True when an archive was written; false when the
// user said No, cancelled the file dialog, or the archive could not be written (then
// after an error message).
bool RunDiagnostics(QWidget* owner, const runtime::CRuntimeLibrary& runtime);
