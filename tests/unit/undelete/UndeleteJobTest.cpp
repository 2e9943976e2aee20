// The undelete worker driven with a scripted prompt over an in-memory parser.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>

#include "app/UndeleteJob.h"
#include "fslib/core/RecoveryTarget.h"
#include "tests/unit/platform/TempDir.h"
#include "tests/unit/recovery/MemoryParser.h"

namespace fs = std::filesystem;

namespace {

using Answer = IUndeletePrompt::Answer;
using Icon = IUndeletePrompt::Icon;

class ScriptedPrompt final : public IUndeletePrompt {
public:
    Answer ConfirmOverwrite(const std::string& text) override {
        questions.push_back(text);
        if (answers.empty()) return Answer::No;
        Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    void ShowMessage(Icon icon, const std::string& caption, const std::string& text) override {
        messages.push_back(text);
        icons.push_back(icon);
        captions.push_back(caption);
    }
    std::deque<Answer> answers;
    std::vector<std::string> questions, messages, captions;
    std::vector<Icon> icons;
};

class RecordingSink final : public IProgressSink {
public:
    void OnProgress(int position) override { positions.push_back(position); }
    std::vector<int> positions;
};

std::string Read(const std::string& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class UndeleteJobTest : public ::testing::Test {
protected:
    void SetUp() override {
        UserBreak.store(0);
        drive.letter = 'E';
        auto p = std::make_unique<MemoryParser>();
        parser = p.get();
        drive.parser = std::move(p);
        a = File(1, "a.txt", "AAA");
        b = File(2, "b.txt", "BB");
        c = File(3, "c.txt", "C");
        SetProgressTarget(&sink);
    }
    void TearDown() override {
        SetProgressTarget(nullptr);
        UserBreak.store(0);
    }

    NodeEntry* File(uint32_t key, const char* name, const std::string& content, NodeEntry* parent = nullptr) {
        NodeEntry* n = MemoryParser::Add(parent ? parent : parser->GetRoot(), key, name, false, true, content.size());
        parser->AddFile(key, std::vector<uint8_t>(content.begin(), content.end()));
        return n;
    }
    UndeleteOutcome Run(std::vector<NodeEntry*> selection, const std::string& destination = "") {
        UndeleteRequest request;
        request.drive = &drive;
        request.selection = std::move(selection);
        request.destination = destination.empty() ? out.Path() : destination;
        request.source = out / "volume.img";  // an image never conflicts with its destination
        return UndeleteSelection(request, prompt);
    }

    DriveEntry drive;
    MemoryParser* parser = nullptr;
    NodeEntry *a = nullptr, *b = nullptr, *c = nullptr;
    ScriptedPrompt prompt;
    RecordingSink sink;
    TempDir out;
};

TEST_F(UndeleteJobTest, ThreeItemsMoveTheProgressAndReportEachFile) {
    UndeleteOutcome o = Run({a, b, c});
    EXPECT_EQ(o.recovered, 3u);
    EXPECT_EQ(sink.positions, (std::vector<int>{100, 33, 100, 66, 100}));
    EXPECT_EQ(prompt.messages, (std::vector<std::string>{"File 'a.txt' was successfully recovered.",
                                                         "File 'b.txt' was successfully recovered.",
                                                         "File 'c.txt' was successfully recovered."}));
    EXPECT_EQ(Read(out / "b.txt"), "BB");
    EXPECT_TRUE(prompt.questions.empty());
}

TEST_F(UndeleteJobTest, AnswersToTheOverwriteQuestion) {
    std::ofstream(out / "a.txt") << "old";
    std::ofstream(out / "b.txt") << "old";
    std::ofstream(out / "c.txt") << "old";
    struct Case {
        std::vector<Answer> answers;
        size_t questions;
        std::vector<const char*> written;  // new files of this job
        bool cancelled;
    } cases[] = {
        {{Answer::Yes, Answer::No, Answer::No}, 3, {"a(1).txt"}, false},
        {{Answer::All}, 1, {"a(1).txt", "b(1).txt", "c(1).txt"}, false},
        {{Answer::No, Answer::Cancel}, 2, {}, true},
    };
    for (const Case& k : cases) {
        for (const char* f : {"a(1).txt", "b(1).txt", "c(1).txt"}) fs::remove(out / f);
        prompt = ScriptedPrompt();
        prompt.answers.assign(k.answers.begin(), k.answers.end());
        UndeleteOutcome o = Run({a, b, c});
        EXPECT_EQ(prompt.questions.size(), k.questions);
        EXPECT_EQ(prompt.questions[0],
                  "File a.txt already exists in the destination folder.\nDo you want to overwrite it?");
        EXPECT_EQ(o.recovered, k.written.size());
        EXPECT_EQ(prompt.messages.size(), k.written.size()) << "no message for a skipped item";
        for (const char* f : k.written) EXPECT_TRUE(fs::exists(out / f)) << f;
        EXPECT_EQ(o.cancelled, k.cancelled);
        EXPECT_EQ(UserBreak.load(), 0) << "the dialog's Cancel is cleared when the job ends";
        EXPECT_EQ(Read(out / "a.txt"), "old");
    }
    // "All" holds for one job only: the next one asks again.
    prompt = ScriptedPrompt();
    Run({a});
    EXPECT_EQ(prompt.questions.size(), 1u);
}

TEST_F(UndeleteJobTest, AFolderReportsItsCounts) {
    NodeEntry* folder = MemoryParser::Add(parser->GetRoot(), 10, "pics", true, true);
    File(11, "one.jpg", "1", folder);
    File(12, "two.jpg", "2", folder);
    Run({folder});
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0], "Folder 'pics' was successfully recovered: 2 files, 1 subfolders");
    EXPECT_EQ(Read(out / "pics/two.jpg"), "2");
}

TEST_F(UndeleteJobTest, FailuresAndRefusalsHaveTheirMessages) {
    NodeEntry* lost = MemoryParser::Add(parser->GetRoot(), 50, "lost.txt", false, true, 10);
    UndeleteOutcome o = Run({lost});
    EXPECT_EQ(prompt.messages, std::vector<std::string>{"Can`t find file"});
    EXPECT_EQ(prompt.icons[0], Icon::Error);
    EXPECT_EQ(o.failed, 1u);

    prompt = ScriptedPrompt();
    o = Run({});
    EXPECT_TRUE(o.refused);
    EXPECT_EQ(prompt.messages, std::vector<std::string>{"Select file please"});
    EXPECT_EQ(prompt.icons[0], Icon::Exclamation);

    NodeEntry up(0, recovery::kUpFolderRowName, FILE_ATTRIBUTE_DIRECTORY, 1);
    prompt = ScriptedPrompt();
    EXPECT_TRUE(Run({&up, a}).refused);
    EXPECT_EQ(prompt.messages, std::vector<std::string>{"Select file please"});

    prompt = ScriptedPrompt();
    EXPECT_TRUE(Run({a}, out / "missing").refused);
    EXPECT_EQ(prompt.icons.at(0), Icon::Error);
    EXPECT_FALSE(fs::exists(out / "missing"));

    // A folder whose deleted content cannot be written reports the loss beside its counts.
    NodeEntry* folder = MemoryParser::Add(parser->GetRoot(), 60, "mixed", true, true);
    File(61, "ok.txt", "ok", folder);
    MemoryParser::Add(folder, 62, "gone.txt", false, true, 3);
    prompt = ScriptedPrompt();
    o = Run({folder});
    ASSERT_EQ(prompt.messages.size(), 2u);
    EXPECT_EQ(prompt.messages[0], "Folder 'mixed' was successfully recovered: 1 files, 1 subfolders");
    EXPECT_EQ(o.failed, 1u);
}

TEST_F(UndeleteJobTest, RecycleBinFileIsWrittenUnderItsNameBeforeDeletion) {
    NodeEntry* bin = MemoryParser::Add(parser->GetRoot(), 70, "DC12.txt", false, false, 4);
    parser->AddFile(70, {'d', 'a', 't', 'a'});
    bin->SetPathBeforeDeletion("C:\\Users\\me\\Report.txt");
    UndeleteOutcome o = Run({bin});
    EXPECT_EQ(o.recovered, 1u);
    EXPECT_EQ(Read(out / "Report.txt"), "data");
    EXPECT_EQ(prompt.messages.at(0), "File 'Report.txt' was successfully recovered.");
}

TEST_F(UndeleteJobTest, ALiveFileIsSkippedWithoutWriting) {
    NodeEntry* live = MemoryParser::Add(parser->GetRoot(), 80, "live.txt", false, false, 4);
    parser->AddFile(80, {'l', 'i', 'v', 'e'});
    UndeleteOutcome o = Run({live});
    EXPECT_EQ(o.skipped, 1u);
    EXPECT_EQ(o.recovered, 0u);
    EXPECT_FALSE(fs::exists(out / "live.txt"));
}

}  // namespace
