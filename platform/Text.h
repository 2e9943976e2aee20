// Text conversions: UTF-16 (NTFS and long FAT names) and CP437 (FAT 8.3 names) to the
// system code page, which is UTF-8 here, and the upper-casing used by name lookups.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Unpaired surrogates are kept (encoded as three-byte sequences) so a name read from
// disk survives the round trip back to UTF-16.
std::string Utf16ToUtf8(const char16_t* text, size_t count);
inline std::string Utf16ToUtf8(std::u16string_view text) { return Utf16ToUtf8(text.data(), text.size()); }
// The same into *out, reusing its room (a scan converts a name per record).
void Utf16ToUtf8(const char16_t* text, size_t count, std::string* out);
std::u16string Utf8ToUtf16(std::string_view text);
// Length of Utf8ToUtf16(text), counted without building it.
size_t Utf16Length(std::string_view text);

// OEM code page 437 bytes to UTF-8.
std::string Cp437ToUtf8(std::string_view bytes);

// The code page 437 byte of a character upper-cased, as a short name stores the first
// character of its long name; -1 when the code page has no such character.
int UpperCp437Byte(char32_t c);

// Unicode-aware upper case of UTF-8 text (ASCII fast path).
std::string UpperCaseUtf8(std::string_view text);

}  // namespace platform
