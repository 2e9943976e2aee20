// Whether the first bytes of a file still look like the type its name gives: a file
// whose start no longer matches is very likely overwritten, even when its clusters look
// free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CFileSystemParser;
class NodeEntry;

enum class ContentVerdict : uint8_t { NotChecked, Matches, DoesNotMatch, UnknownType };

// How many bytes of a file the check reads.
constexpr uint32_t kContentCheckBytes = 4096;

// "matches", "does not match", "unknown type"; "" for NotChecked.
const char* ContentVerdictText(ContentVerdict verdict);

// Whether bytes from a file are text: libmagic's verdict on their encoding (any text
// encoding it knows, UTF-16 with its mark included), else no NUL byte and fewer than one
// control character in twenty. The content check and the preview both ask this.
bool LooksLikeText(const uint8_t* data, size_t size);

// The verdict for a file named `name` that starts with `data` (its first bytes, at most
// kContentCheckBytes are looked at). Names without a known type give UnknownType.
ContentVerdict CheckContent(const std::string& name, const uint8_t* data, size_t size);

// Reads the node's first kContentCheckBytes through the parser and checks them. Folders
// and nodes that cannot be opened give NotChecked.
ContentVerdict CheckNodeContent(CFileSystemParser* parser, NodeEntry* node);
