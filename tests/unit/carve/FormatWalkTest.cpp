// Each format's header test and structure walk over real files made by the tools users'
// cameras and editors stand for (media/make-media.sh), whole, followed by other bytes,
// cut short by the end of the medium, and with their second half overwritten.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "fslib/carve/FileFormat.h"

namespace {

std::vector<uint8_t> ReadMedia(const std::string& name) {
    std::ifstream in(std::string(QVR_SOURCE_DIR) + "/tests/unit/carve/media/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<uint8_t> Noise(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::vector<uint8_t> out(n);
    for (uint8_t& b : out) b = static_cast<uint8_t>(gen());
    return out;
}

// The format whose header test takes the bytes, and its walk over them.
const carve::FileFormat* Recognise(const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> sector(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), carve::kHeaderBytes));
    sector.resize(carve::kHeaderBytes);
    const carve::FileFormat* found = nullptr;
    for (const carve::FileFormat& f : carve::FileFormats())
        if (f.IsHeader(sector.data())) {
            EXPECT_EQ(found, nullptr) << "two formats take the header: " << found->name << " and " << f.name;
            found = &f;
        }
    return found;
}

carve::WalkResult Walk(const carve::FileFormat& f, const std::vector<uint8_t>& bytes) {
    carve::MemoryByteSource source(bytes.data(), bytes.size());
    return carve::RunWalk(f, &source, 0);
}

struct Case {
    const char* file;
    const char* format;     // the table row whose header test takes it
    const char* extension;  // what the walk calls it
    // Whether overwriting the second half can be seen at all: formats without checks
    // over their data (BMP, TIFF, a WebP of one chunk) cannot tell.
    bool tailCheckable;
};

const Case kCases[] = {
    {"photo.jpg", "jpg", "jpg", true},           {"progressive.jpg", "jpg", "jpg", true},
    {"picture.png", "png", "png", true},         {"picture.gif", "gif", "gif", true},
    {"picture.bmp", "bmp", "bmp", false},        {"picture.tif", "tif", "tif", false},
    {"picture.heic", "mp4", "heic", false},      {"clip.mp4", "mp4", "mp4", true},
    {"clip-faststart.mp4", "mp4", "mp4", false}, {"clip.mov", "mp4", "mov", false},
    {"clip.3gp", "mp4", "3gp", false},           {"clip.avi", "avi", "avi", true},
    {"picture.webp", "avi", "webp", false},
};

TEST(FormatWalk, RealFilesWholeFollowedCutAndOverwritten) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.file);
        std::vector<uint8_t> file = ReadMedia(c.file);
        ASSERT_GT(file.size(), 1000u);
        const carve::FileFormat* f = Recognise(file);
        ASSERT_NE(f, nullptr);
        EXPECT_STREQ(f->name, c.format);

        // Whole, with other data after it on the medium: the walk finds the exact end.
        std::vector<uint8_t> medium = file;
        std::vector<uint8_t> after = Noise(64 * 1024, 1);
        medium.insert(medium.end(), after.begin(), after.end());
        carve::WalkResult r = Walk(*f, medium);
        EXPECT_TRUE(r.whole);
        EXPECT_EQ(r.length, file.size());
        EXPECT_STREQ(r.extension ? r.extension : f->name, c.extension);
        // Zeros after it (a freshly formatted card) end it as well.
        medium.resize(file.size());
        medium.resize(file.size() + 8192, 0);
        r = Walk(*f, medium);
        EXPECT_TRUE(r.whole);
        EXPECT_EQ(r.length, file.size());

        // The medium ends inside the file: damaged, never longer than what is there.
        for (size_t cut : {file.size() - 1, file.size() / 2, size_t{600}}) {
            std::vector<uint8_t> shortMedium(file.begin(), file.begin() + static_cast<long>(cut));
            r = Walk(*f, shortMedium);
            EXPECT_FALSE(r.whole) << "cut at " << cut;
            EXPECT_LE(r.length, cut);
        }

        if (c.tailCheckable) {
            std::vector<uint8_t> overwritten = file;
            std::vector<uint8_t> noise = Noise(file.size() - file.size() / 2 + 64 * 1024, 2);
            overwritten.resize(file.size() / 2);
            overwritten.insert(overwritten.end(), noise.begin(), noise.end());
            r = Walk(*f, overwritten);
            EXPECT_FALSE(r.whole) << "second half overwritten";
        }
    }
}

TEST(FormatWalk, ThumbnailInsideExifIsNotTheEnd) {
    std::vector<uint8_t> file = ReadMedia("photo.jpg");
    // The thumbnail's own end mark lies well before the photo's.
    size_t firstEnd = 0;
    for (size_t i = 2; i + 1 < file.size() && !firstEnd; ++i)
        if (file[i] == 0xFF && file[i + 1] == 0xD9) firstEnd = i + 2;
    ASSERT_LT(firstEnd, file.size() / 2);
    carve::WalkResult r = Walk(*Recognise(file), file);
    EXPECT_EQ(r.length, file.size());
    EXPECT_EQ(r.dateTaken, "2021:07:14 09:30:05");
}

TEST(FormatWalk, PngChunkWithWrongCrcEndsItDamaged) {
    std::vector<uint8_t> file = ReadMedia("picture.png");
    file[40] ^= 0x01;  // inside the first chunk after IHDR
    carve::WalkResult r = Walk(*Recognise(file), file);
    EXPECT_FALSE(r.whole);
    EXPECT_EQ(r.length, 33u);  // signature and IHDR are all that holds
}

TEST(FormatWalk, TypeWordsSelectFormatsAndResults) {
    std::vector<std::string> unknown;
    std::vector<const carve::FileFormat*> chosen = carve::SelectFormats("jpg,MOV,zip", &unknown);
    ASSERT_EQ(chosen.size(), 2u);
    EXPECT_STREQ(chosen[0]->name, "jpg");
    EXPECT_STREQ(chosen[1]->name, "mp4");
    EXPECT_EQ(unknown, std::vector<std::string>{"zip"});
    carve::WalkResult mov(10, true);
    mov.extension = "mov";
    EXPECT_TRUE(carve::ResultWanted("jpg,mov", *chosen[1], mov));
    EXPECT_FALSE(carve::ResultWanted("jpg,mov", *chosen[1], carve::WalkResult(10, true)));
    EXPECT_TRUE(carve::ResultWanted("", *chosen[1], carve::WalkResult(10, true)));
}

}  // namespace
