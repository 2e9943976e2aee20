#include "app/RecoveryReport.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <nlohmann/json.hpp>

#include "app/BrowserModel.h"
#include "app/ContentCheck.h"

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

struct DigestFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

// The content check of the written file's first bytes, under the name it had on the volume.
ContentVerdict WrittenContent(const recovery::WrittenFile& f) {
    File in(std::fopen(f.writtenPath.c_str(), "rb"));
    if (!in) return ContentVerdict::NotChecked;
    std::vector<uint8_t> head(kContentCheckBytes);
    head.resize(std::fread(head.data(), 1, head.size(), in.get()));
    return CheckContent(f.name, head.data(), head.size());
}

}  // namespace

std::string FileSha256(const std::string& path) {
    File in(std::fopen(path.c_str(), "rb"));
    std::unique_ptr<EVP_MD_CTX, DigestFree> ctx(EVP_MD_CTX_new());
    if (!in || !ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) return {};
    std::vector<unsigned char> buffer(1 << 20);
    size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), in.get())) > 0)
        if (EVP_DigestUpdate(ctx.get(), buffer.data(), n) != 1) return {};
    if (std::ferror(in.get())) return {};
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1) return {};
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 15];
    }
    return text;
}

bool WriteRecoveryReport(const std::string& path, const std::string& volume, const char* filesystem,
                         const std::string& destination, const std::vector<recovery::WrittenFile>& files,
                         std::string* error) {
    nlohmann::json doc;
    doc["volume"] = volume;
    doc["filesystem"] = filesystem ? nlohmann::json(filesystem) : nlohmann::json(nullptr);
    doc["destination"] = destination;
    nlohmann::json list = nlohmann::json::array();
    for (const recovery::WrittenFile& f : files) {
        nlohmann::json ranges = nlohmann::json::array();
        for (const recovery::ByteRange& r : f.zeroFilled)
            ranges.push_back({{"offset", r.offset}, {"length", r.length}});
        std::string sha = FileSha256(f.writtenPath);
        ContentVerdict content = WrittenContent(f);
        list.push_back(
            {{"source", f.sourcePath},
             {"key", f.key},
             {"written", f.writtenPath},
             {"size", f.size},
             {"sha256", sha.empty() ? nlohmann::json(nullptr) : nlohmann::json(sha)},
             {"damage", browser::DamageLevelWord(f.damageLevel)},
             {"content", content == ContentVerdict::NotChecked ? nlohmann::json(nullptr)
                                                               : nlohmann::json(ContentVerdictText(content))},
             {"zero_filled", std::move(ranges)}});
    }
    doc["files"] = std::move(list);
    std::string text = doc.dump(1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    File out(std::fopen(path.c_str(), "wb"));
    if (!out || std::fwrite(text.data(), 1, text.size(), out.get()) != text.size() || std::fflush(out.get()) != 0) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    return true;
}
