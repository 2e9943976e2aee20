// The content check's verdicts: each type's signature against its own name, against a
// name of another type, and the cases where the start says nothing.
#include <gtest/gtest.h>

#include <string>

#include "app/ContentCheck.h"

namespace {

std::string Bytes(std::string_view s, size_t padTo = 64) {
    std::string v(s);
    if (v.size() < padTo) v.resize(padTo, '\x01');
    return v;
}

ContentVerdict Check(const std::string& name, const std::string& data) {
    return CheckContent(name, reinterpret_cast<const uint8_t*>(data.data()), data.size());
}

struct Case {
    const char* name;
    std::string start;
};

TEST(ContentCheck, EachTypeMatchesItsOwnSignatureAndNoOther) {
    const Case cases[] = {
        {"a.jpg", Bytes("\xFF\xD8\xFF\xE0")},
        {"a.JPEG", Bytes("\xFF\xD8\xFF\xDB")},
        {"a.png", Bytes("\x89PNG\r\n\x1A\n")},
        {"a.gif", Bytes("GIF89a")},
        {"a.pdf", Bytes("%PDF-1.7\n")},
        {"a.docx", Bytes("PK\x03\x04")},
        {"a.apk", Bytes("PK\x03\x04")},
        {"a.xls", Bytes("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")},
        {"a.wav", Bytes(std::string_view("RIFF\x10\0\0\0WAVEfmt ", 16))},
        {"a.avi", Bytes(std::string_view("RIFF\x10\0\0\0AVI LIST", 16))},
        {"a.webp", Bytes(std::string_view("RIFF\x10\0\0\0WEBPVP8 ", 16))},
        {"a.mp3", Bytes("ID3\x04")},
        {"a.mp4", Bytes(std::string_view("\0\0\0\x18"
                                         "ftypisom",
                                         12))},
        {"a.mov", Bytes(std::string_view("\0\0\0\x08wide", 8))},
        {"a.7z", Bytes(std::string_view("7z\xBC\xAF\x27\x1C\0\x04", 8))},
        {"a.rar", Bytes(std::string_view("Rar!\x1A\x07\x00", 7))},
        {"a.gz", Bytes("\x1F\x8B\x08")},
        {"a.sqlite", Bytes(std::string_view("SQLite format 3\0", 16))},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Check(c.name, c.start), ContentVerdict::Matches) << c.name;
        // Zeros where the signature was: the file's clusters were reused or wiped.
        EXPECT_EQ(Check(c.name, std::string(4096, '\0')), ContentVerdict::DoesNotMatch) << c.name;
    }
    // A RIFF container of the wrong kind, a ZIP named as OLE2, a picture named as text.
    EXPECT_EQ(Check("a.avi", Bytes(std::string_view("RIFF\x10\0\0\0WAVEfmt ", 16))), ContentVerdict::DoesNotMatch);
    EXPECT_EQ(Check("a.doc", Bytes("PK\x03\x04")), ContentVerdict::DoesNotMatch);
    EXPECT_EQ(Check("a.txt", Bytes("\x89PNG\r\n\x1A\n\0\0\0\rIHDR")), ContentVerdict::DoesNotMatch);
}

TEST(ContentCheck, TextAndMpegAudioAreJudgedByContent) {
    EXPECT_EQ(Check("notes.txt", "plain words\nand lines\n"), ContentVerdict::Matches);
    EXPECT_EQ(Check("notes.txt", "caf\xC3\xA9 na\xC3\xAFve r\xC3\xA9sum\xC3\xA9\n"), ContentVerdict::Matches);
    EXPECT_EQ(Check("notes.txt", std::string("\0\0\0\x01\x02\x03\0\0", 8) + std::string(200, '\0')),
              ContentVerdict::DoesNotMatch);
    // An MPEG frame header without an ID3 tag.
    EXPECT_EQ(Check("a.mp3", Bytes("\xFF\xFB\x90\x64", 2048)), ContentVerdict::Matches);
    EXPECT_EQ(Check("a.mp3", Bytes("no sound here", 2048)), ContentVerdict::DoesNotMatch);
}

TEST(ContentCheck, NamesWithoutAKnownTypeAreUnknown) {
    for (const char* name : {"a.xyz", "README", "trailing.", ".hidden", ""})
        EXPECT_EQ(Check(name, Bytes("\xFF\xD8\xFF")), ContentVerdict::UnknownType) << name;
    EXPECT_STREQ(ContentVerdictText(ContentVerdict::Matches), "matches");
    EXPECT_STREQ(ContentVerdictText(ContentVerdict::DoesNotMatch), "does not match");
    EXPECT_STREQ(ContentVerdictText(ContentVerdict::UnknownType), "unknown type");
}

}  // namespace
