// printf-style formatting for log lines without the C library's stream machinery: the
// conversions the program's log lines use (integers, strings, characters, pointers), with
// flags, width and string precision, byte for byte as vsnprintf writes them. Anything
// else (floating point, integer precision, %n) is left to vsnprintf.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace logline {

// As vsnprintf: writes at most size - 1 characters and a NUL, returns the length of the
// whole text. Returns -1, having consumed args, for a format it does not take; the
// caller then formats a copy of the arguments it made beforehand with vsnprintf.
int Format(char* out, size_t size, const char* fmt, va_list args);

}  // namespace logline
