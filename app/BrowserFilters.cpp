// Name filters of the browser: wildcard matching and the two normalisations.
#include <string>

#include "app/BrowserModel.h"
#include "platform/Text.h"

namespace browser {

int MatchWildcard(const char* name, const char* pattern) {
    if (!name || !pattern) return 0;
    if (std::string(pattern) == "*") return 1;
    std::u16string n = platform::Utf8ToUtf16(platform::UpperCaseUtf8(name));
    std::u16string p = platform::Utf8ToUtf16(platform::UpperCaseUtf8(pattern));
    // A pattern ending in "." asks for names without an extension.
    if (!p.empty() && p.back() == u'.') {
        if (n.find(u'.') != std::u16string::npos) return 0;
        p.pop_back();
    }
    // Greedy walk that remembers the last star, so "*ab*" finds "ab" anywhere.
    size_t i = 0, j = 0;
    size_t starPattern = std::u16string::npos, starName = 0;
    while (i < n.size()) {
        if (j < p.size() && (p[j] == u'?' || p[j] == n[i])) {
            ++i;
            ++j;
        } else if (j < p.size() && p[j] == u'*') {
            starPattern = j++;
            starName = i;
        } else if (starPattern != std::u16string::npos) {
            j = starPattern + 1;
            i = ++starName;
        } else {
            return 0;
        }
    }
    while (j < p.size() && p[j] == u'*') ++j;
    return j == p.size() ? 1 : 0;
}

void NormalizeFiltersAfterScan(std::string* files, std::string* folders) {
    for (std::string* f : {files, folders}) {
        if (f->empty()) *f = "*";
        if (f->back() != '*') *f += '*';
    }
}

void NormalizeFiltersOnEdit(std::string* files, std::string* folders) {
    if (files->empty()) *files = "*";
    if (files->back() != '*' && files->back() != '.') *files += '*';
    if (*files == "*.*") *files = "*";
    if (folders->empty()) *folders = "*";
    if (folders->back() != '*') *folders += '*';
}

}  // namespace browser
