#include "platform/Text.h"

#include <locale.h>
#include <wctype.h>

#include <cstdint>

namespace platform {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// OEM code page 437, bytes 0x80..0xFF. The lower half is ASCII (control codes stay
// control codes, as the system's OEM conversion does without glyph mapping).
constexpr char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  // 0x80
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,  // 0x90
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // 0xA0
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // 0xB0
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // 0xC0
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // 0xD0
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,  // 0xE0
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,  // 0xF0
};

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Surrogate code points are written like any other three-byte code point (WTF-8).
void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one code point at text[pos] and advances pos. Surrogates encoded on their own
// are accepted (they come from names with unpaired surrogates); overlong forms, values
// past U+10FFFF and stray bytes give *valid = false and consume one byte.
char32_t DecodeUtf8(std::string_view text, size_t& pos, bool* valid) {
    const auto lead = static_cast<uint8_t>(text[pos]);
    *valid = true;
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        *valid = false;
        ++pos;
        return kReplacement;
    }
    if (text.size() - pos < length) {
        *valid = false;
        ++pos;
        return kReplacement;
    }
    for (size_t i = 1; i < length; ++i) {
        const auto next = static_cast<uint8_t>(text[pos + i]);
        if ((next & 0xC0) != 0x80) {
            *valid = false;
            ++pos;
            return kReplacement;
        }
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF) {
        *valid = false;
        ++pos;
        return kReplacement;
    }
    pos += length;
    return value;
}

locale_t Utf8Locale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return locale;
}

// Used only when the C library has no UTF-8 locale: Latin-1, Latin Extended-A, Greek
// and Cyrillic, which covers the names of the common code pages.
char32_t FallbackUpper(char32_t c) {
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x17F) {
        const bool pairedOddLower = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
        const bool pairedEvenLower = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (pairedOddLower && (c & 1)) return c - 1;
        if (pairedEvenLower && !(c & 1)) return c - 1;
        return c;
    }
    if (c == 0x3C2) return 0x3A3;
    if (c >= 0x3B1 && c <= 0x3C9) return c - 0x20;
    if (c >= 0x430 && c <= 0x44F) return c - 0x20;
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;
    return c;
}

char32_t UpperCodePoint(char32_t c) {
    if (const locale_t locale = Utf8Locale()) return static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), locale));
    return FallbackUpper(c);
}

}  // namespace

std::string Utf16ToUtf8(const char16_t* text, size_t count) {
    std::string out;
    Utf16ToUtf8(text, count, &out);
    return out;
}

void Utf16ToUtf8(const char16_t* text, size_t count, std::string* result) {
    std::string& out = *result;
    out.clear();
    if (text == nullptr) return;
    out.reserve(count);
    // Most names are ASCII: copied as they are up to the first other character.
    out.resize(count);
    char* ascii = out.data();
    size_t i = 0;
    for (; i < count && text[i] < 0x80; ++i) ascii[i] = static_cast<char>(text[i]);
    out.resize(i);
    for (; i < count; ++i) {
        char32_t c = text[i];
        if (IsHighSurrogate(c) && i + 1 < count && IsLowSurrogate(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        AppendUtf8(out, c);
    }
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        bool valid = true;
        const char32_t c = DecodeUtf8(text, pos, &valid);
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

size_t Utf16Length(std::string_view text) {
    size_t units = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        if (static_cast<uint8_t>(text[pos]) < 0x80) {
            ++pos;
            ++units;
            continue;
        }
        bool valid = true;
        units += DecodeUtf8(text, pos, &valid) >= 0x10000 ? 2 : 1;
    }
    return units;
}

std::string Cp437ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto b = static_cast<uint8_t>(ch);
        AppendUtf8(out, b < 0x80 ? b : kCp437High[b - 0x80]);
    }
    return out;
}

int UpperCp437Byte(char32_t c) {
    const char32_t upper = c < 0x80 ? ((c >= 'a' && c <= 'z') ? c - 0x20 : c) : UpperCodePoint(c);
    if (upper < 0x80) return static_cast<int>(upper);
    for (int i = 0; i < 128; ++i)
        if (kCp437High[i] == upper) return 0x80 + i;
    return -1;
}

std::string UpperCaseUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        const auto b = static_cast<uint8_t>(text[pos]);
        if (b < 0x80) {
            out += (b >= 'a' && b <= 'z') ? static_cast<char>(b - 0x20) : static_cast<char>(b);
            ++pos;
            continue;
        }
        const size_t start = pos;
        bool valid = true;
        const char32_t c = DecodeUtf8(text, pos, &valid);
        // Undecodable bytes and surrogates are left exactly as they were.
        if (!valid || IsHighSurrogate(c) || IsLowSurrogate(c)) {
            out.append(text.substr(start, pos - start));
            continue;
        }
        AppendUtf8(out, UpperCodePoint(c));
    }
    return out;
}

}  // namespace platform
