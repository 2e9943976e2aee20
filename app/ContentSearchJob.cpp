#include "app/ContentSearchJob.h"

#include <cctype>
#include <cstdio>

#include "app/DestinationCheck.h"
#include "app/ScanJob.h"
#include "app/VolumeProbe.h"
#include "common/logger/Logger.h"
#include "fslib/carve/ExifDate.h"
#include "fslib/core/JobState.h"
#include "platform/DriveTable.h"
#include "platform/Files.h"

namespace {

// Collects the files and passes everything on to the caller's observer.
class Collector final : public carve::ISearchSink {
public:
    Collector(ContentSearchOutcome* out, carve::ISearchSink* observer) : m_pOut(out), m_pObserver(observer) {}
    void OnFound(const carve::FoundFile& file) override {
        m_pOut->files.push_back(file);
        if (m_pObserver) m_pObserver->OnFound(file);
    }
    void OnProgress(const carve::SearchProgress& progress) override {
        m_pOut->bytesSearched = progress.bytesDone;
        if (m_pObserver) m_pObserver->OnProgress(progress);
    }

private:
    ContentSearchOutcome* m_pOut;
    carve::ISearchSink* m_pObserver;
};

// A name in `folder` that no file has yet: name, then name(1).ext, name(2).ext, ...
std::string FreeName(const std::string& folder, const std::string& name) {
    std::string path = platform::JoinPath(folder, name);
    size_t dot = name.rfind('.');
    std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    std::string ext = dot == std::string::npos ? "" : name.substr(dot);
    for (unsigned i = 1; platform::FileExists(path) && i < 100000; ++i)
        path = platform::JoinPath(folder, stem + "(" + std::to_string(i) + ")" + ext);
    return path;
}

bool WriteTo(void* context, const uint8_t* bytes, size_t n) {
    uint32_t written = 0;
    auto h = *static_cast<platform::FileHandle*>(context);
    return platform::WriteFile(h, bytes, static_cast<uint32_t>(n), &written) && written == n;
}

}  // namespace

void RunContentSearch(char letter, const carve::SearchOptions& options, carve::ISearchSink* observer,
                      ContentSearchOutcome* out) {
    UserBreak.store(0);
    int error = 0;
    out->parser = OpenParser(letter, &error);
    if (!out->parser && error == -2) out->rawDrive = OpenDrive(letter);
    CDiskDrive* drive = out->Drive();
    if (!drive) {
        g_Logger.Error("Can`t open disk");
        out->status = -1;
        return;
    }
    if (out->parser) out->fileSystem = FileSystemName(out->parser->GetFileSystemType());
    carve::RegionPlan plan(drive, out->parser.get(), options.allClusters);
    ClusterHeap heap;
    out->freeClustersOnly = out->parser && !options.allClusters && out->parser->GetClusterHeap(&heap);
    g_Logger.InfoF("Search by content of drive %c: %s", letter,
                   out->freeClustersOnly ? "free clusters" : "every sector");
    Collector collector(out, observer);
    out->status = carve::SearchByContent(drive, plan, options, &collector);
    g_Logger.InfoF("Search by content found %u files", static_cast<unsigned>(out->files.size()));
}

FoundFilesWritten WriteFoundFiles(char letter, const ContentSearchOutcome& outcome, const std::string& destination) {
    FoundFilesWritten result;
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    std::string source;
    if (auto found = platform::DriveTable::Instance().Find(letter)) source = found->source;
    if (!source.empty() && DestinationOnScannedDevice(source, destination)) {
        char text[256];
        std::snprintf(text, sizeof text,
                      "Select destination folder on a different drive. Saving to drive %c:\nmay harm the file(s) you "
                      "want to undelete.",
                      letter);
        result.refused = true;
        result.message = text;
        return result;
    }
    CDiskDrive* drive = outcome.Drive();
    platform::CreateDirectory(destination);
    for (const carve::FoundFile& file : outcome.files) {
        if (IsUserBreak()) break;
        std::string folder = platform::JoinPath(destination, file.typeName);
        if (!platform::DirectoryExists(folder)) platform::CreateDirectory(folder);
        std::string path = FreeName(folder, file.FileName());
        platform::FileHandle h = platform::CreateFile(path, platform::kWrite, platform::CreateMode::CreateNew);
        bool ok = h != platform::INVALID_FILE_HANDLE && drive &&
                  carve::CopyDriveBytes(drive, file.offset, file.length, WriteTo, &h);
        // A photo takes the time it was taken as its own.
        FILETIME taken = carve::ExifDateToFileTime(file.dateTaken);
        if (ok && taken) platform::SetFileTime(h, &taken, nullptr, &taken);
        if (h != platform::INVALID_FILE_HANDLE) platform::CloseFile(h);
        if (ok) {
            ++result.written;
        } else {
            ++result.failed;
            if (result.message.empty()) result.message = "can`t write " + path;
        }
    }
    return result;
}
