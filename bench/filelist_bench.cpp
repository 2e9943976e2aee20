// The file list at 100,000 rows in one folder: filling it, each sort column, a filter
// keystroke, and what the desktop list adds on top (its reset and the cells of one
// screen). The folder is the root of an NTFS volume built in memory by the test
// fixture, scanned by the real parser. Target: each under 100 ms.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTreeView>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/BrowserModel.h"
#include "app/ScanJob.h"
#include "app/VolumeProbe.h"
#include "fslib/disk/MemoryDrive.h"
#include "gui/FileListModel.h"
#include "gui/MimeTypes.h"
#include "tests/fixtures/NtfsImageBuilder.h"

namespace {

constexpr uint32_t kRows = 100000;
// A screen of the list: what the view asks for after a reset.
constexpr int kScreenRows = 40;

struct Volume {
    DriveEntry drive;
    CMimeTypes types;
    std::unique_ptr<CBrowserModel> browser;
    std::unique_ptr<CFileListModel> list;
};

QApplication* App() {
    static int argc = 1;
    static char name[] = "bench_filelist";
    static char* argv[] = {name, nullptr};
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Never destroyed, as the volume's models are not: tearing Qt down at exit, after
    // other static objects are gone, is no part of what is measured.
    static QApplication* app = new QApplication(argc, argv);
    return app;
}

Volume& TheVolume() {
    static Volume* volume = [] {
        App();
        fixture::NtfsImageBuilder::Options options;
        options.sectorsPerCluster = 8;
        options.mftRecords = kRows + 64;
        options.totalSectors = (uint64_t{options.mftRecords} * 1024 * 2) / 512 + 16384;
        fixture::NtfsImageBuilder builder(options);
        const char16_t* extensions[] = {u".txt", u".jpg", u".docx", u".pdf", u".mp3", u".zip", u""};
        for (uint32_t i = 0; i < kRows; ++i) {
            // Names, types, sizes and times in an order unlike the record order.
            const uint32_t mixed = (i * 7919u) % kRows;
            std::u16string name = u"File ";
            for (char c : std::to_string(mixed)) name += static_cast<char16_t>(c);
            name += extensions[i % 7];
            const uint64_t time = builder.fileTime + uint64_t{mixed} * 600000000ull;
            builder.Record(16 + i)
                .InUse(false)
                .StandardInformation(time, time + (i % 13) * 10000000ull)
                .FileName(5, name, 1, false, uint64_t{mixed % 5000} * 1000)
                .ResidentData({});
        }
        std::vector<uint8_t> image = builder.Build();
        auto* v = new Volume;
        auto* disk = new CMemoryDrive(std::move(image));
        disk->Open('E');
        uint8_t boot[512];
        const uint8_t type = DetectDriveFileSystem(disk, boot);
        v->drive.letter = 'E';
        v->drive.parser = MakeParserOfType(type, std::unique_ptr<CDiskDrive>(disk), boot);
        ScanDrive(&v->drive);
        v->browser = std::make_unique<CBrowserModel>(&v->types);
        v->browser->SelectDrive(&v->drive);
        v->browser->OnScanFinished();
        v->list = std::make_unique<CFileListModel>(v->browser.get(), &v->types);
        return v;
    }();
    return *volume;
}

void CheckRows(benchmark::State& state, const Volume& v) {
    if (v.browser->RowCount() != kRows) state.SkipWithError("the folder does not list every row");
}

void Fill(benchmark::State& state) {
    Volume& v = TheVolume();
    v.browser->SetSort(0, browser::SORT_NONE);
    for (auto _ : state) v.browser->ApplyFilters("*", "*");
    CheckRows(state, v);
}

void SortColumn(benchmark::State& state) {
    Volume& v = TheVolume();
    v.browser->SetSort(0, browser::SORT_NONE);
    v.browser->ApplyFilters("*", "*");
    const int column = static_cast<int>(state.range(0));
    int order = browser::SORT_ASCENDING;
    for (auto _ : state) {
        // A column click: the other order of the same column each time.
        v.browser->SetSort(column, order);
        order = order == browser::SORT_ASCENDING ? browser::SORT_DESCENDING : browser::SORT_ASCENDING;
    }
    CheckRows(state, v);
}

void FilterKeystroke(benchmark::State& state) {
    Volume& v = TheVolume();
    v.browser->SetSort(0, browser::SORT_ASCENDING);
    // Typing "file 1": each keystroke refills the folder and sorts it again.
    const char* typed[] = {"f", "fi", "fil", "file", "file ", "file 1"};
    size_t next = 0;
    for (auto _ : state) {
        v.browser->ApplyFilters(typed[next], "*");
        next = (next + 1) % 6;
    }
}

void DesktopListReset(benchmark::State& state) {
    Volume& v = TheVolume();
    v.browser->SetSort(0, browser::SORT_NONE);
    v.browser->ApplyFilters("*", "*");
    QTreeView view;
    view.setUniformRowHeights(true);
    view.setModel(v.list.get());
    view.resize(900, 600);
    for (auto _ : state) {
        v.list->Refresh();
        // The cells of one screen, as the view paints them.
        for (int row = 0; row < kScreenRows; ++row)
            for (int column = 0; column < browser::kColumnCount; ++column) {
                const QModelIndex index = v.list->index(row, column);
                benchmark::DoNotOptimize(v.list->data(index, Qt::DisplayRole));
                benchmark::DoNotOptimize(v.list->data(index, Qt::DecorationRole));
            }
    }
    if (v.list->rowCount() != static_cast<int>(kRows)) state.SkipWithError("the list does not show every row");
}

}  // namespace

BENCHMARK(Fill)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(SortColumn)->DenseRange(0, browser::kColumnCount - 1)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(FilterKeystroke)->Unit(benchmark::kMillisecond)->Iterations(6);
BENCHMARK(DesktopListReset)->Unit(benchmark::kMillisecond)->Iterations(5);
