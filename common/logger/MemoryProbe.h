// Whether memory handed to the logger can be read (IsBadReadPtr / IsBadStringPtr), asked
// of the kernel so that a wild pointer is reported instead of faulting.
#pragma once

#include <cstddef>

// True for count 0; false for a null pointer with count > 0.
bool IsReadableMemory(const void* p, size_t count);
// True when a NUL is found, or maxChars characters are readable, starting at str.
bool IsReadableString(const char* str, long maxChars);
