#include "common/logger/LineFormat.h"

#include <cstdint>
#include <cstring>

namespace logline {
namespace {

// Keeps what fits in the buffer and counts everything.
class Writer {
public:
    Writer(char* out, size_t size) : m_pOut(out), m_nRoom(size ? size - 1 : 0) {}
    void Put(const char* text, size_t len) {
        if (m_nUsed < m_nRoom) {
            const size_t n = len < m_nRoom - m_nUsed ? len : m_nRoom - m_nUsed;
            std::memcpy(m_pOut + m_nUsed, text, n);
        }
        m_nUsed += len;
    }
    void Repeat(char c, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            if (m_nUsed < m_nRoom) m_pOut[m_nUsed] = c;
            ++m_nUsed;
        }
    }
    size_t Finish(size_t size) {
        if (size) m_pOut[m_nUsed < m_nRoom ? m_nUsed : m_nRoom] = '\0';
        return m_nUsed;
    }

private:
    char* m_pOut;
    size_t m_nRoom;
    size_t m_nUsed = 0;
};

struct Conversion {
    bool left = false, zero = false, plus = false, space = false, alt = false;
    size_t width = 0;
    long precision = -1;
};

// Digits of value in the base, most significant first, at the end of buf; returns the
// first digit's position.
char* Digits(char* end, uint64_t value, unsigned base, bool upper) {
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char* p = end;
    do {
        *--p = set[value % base];
        value /= base;
    } while (value);
    return p;
}

void Padded(Writer& w, const Conversion& s, const char* prefix, size_t prefixLen, const char* body, size_t bodyLen) {
    const size_t len = prefixLen + bodyLen;
    const size_t pad = s.width > len ? s.width - len : 0;
    if (!s.left && !s.zero) w.Repeat(' ', pad);
    w.Put(prefix, prefixLen);
    if (!s.left && s.zero) w.Repeat('0', pad);
    w.Put(body, bodyLen);
    if (s.left) w.Repeat(' ', pad);
}

}  // namespace

// One pass over the format, one case per conversion: split, the cases would only pass the
// parsed flags and the argument list around.
int Format(char* out, size_t size, const char* fmt, va_list args) {  // NOLINT(readability-function-size)
    Writer w(out, size);
    const char* p = fmt;
    while (*p) {
        const char* percent = std::strchr(p, '%');
        if (!percent) {
            w.Put(p, std::strlen(p));
            break;
        }
        w.Put(p, static_cast<size_t>(percent - p));
        p = percent + 1;
        Conversion s;
        for (;; ++p) {
            if (*p == '-')
                s.left = true;
            else if (*p == '0')
                s.zero = true;
            else if (*p == '+')
                s.plus = true;
            else if (*p == ' ')
                s.space = true;
            else if (*p == '#')
                s.alt = true;
            else
                break;
        }
        if (*p == '*') {
            const int width = va_arg(args, int);
            if (width < 0) {
                s.left = true;
                s.width = static_cast<size_t>(-static_cast<long>(width));
            } else {
                s.width = static_cast<size_t>(width);
            }
            ++p;
        } else {
            while (*p >= '0' && *p <= '9') {
                s.width = s.width * 10 + static_cast<size_t>(*p++ - '0');
                if (s.width > 100000) return -1;
            }
        }
        if (*p == '.') {
            ++p;
            if (*p == '*') {
                const int precision = va_arg(args, int);
                s.precision = precision < 0 ? -1 : precision;
                ++p;
            } else {
                s.precision = 0;
                while (*p >= '0' && *p <= '9') {
                    s.precision = s.precision * 10 + (*p++ - '0');
                    if (s.precision > 100000) return -1;
                }
            }
        }
        if (s.left) s.zero = false;
        int length = 0;  // 0 int, 1 long, 2 long long, -1 short, -2 char, 3 size_t
        if (p[0] == 'h' && p[1] == 'h')
            length = -2, p += 2;
        else if (p[0] == 'h')
            length = -1, ++p;
        else if (p[0] == 'l' && p[1] == 'l')
            length = 2, p += 2;
        else if (p[0] == 'l')
            length = 1, ++p;
        else if (p[0] == 'j')
            length = 2, ++p;
        else if (p[0] == 'z' || p[0] == 't')
            length = 3, ++p;
        const char conversion = *p;
        if (!conversion) return -1;
        ++p;
        switch (conversion) {
            case '%': w.Put("%", 1); break;
            case 'c': {
                if (length != 0) return -1;
                const char c = static_cast<char>(va_arg(args, int));
                s.zero = false;
                Padded(w, s, "", 0, &c, 1);
                break;
            }
            case 's': {
                if (length != 0) return -1;
                const char* text = va_arg(args, const char*);
                if (!text) {
                    if (s.precision >= 0 && s.precision < 6) return -1;
                    text = "(null)";
                }
                size_t len;
                if (s.precision >= 0) {
                    const void* nul = std::memchr(text, 0, static_cast<size_t>(s.precision));
                    len = nul ? static_cast<size_t>(static_cast<const char*>(nul) - text)
                              : static_cast<size_t>(s.precision);
                } else {
                    len = std::strlen(text);
                }
                s.zero = false;
                Padded(w, s, "", 0, text, len);
                break;
            }
            case 'p': {
                const void* ptr = va_arg(args, const void*);
                if (s.plus || s.space || s.alt || s.precision >= 0 || length != 0) return -1;
                char buf[24];
                if (!ptr) {
                    s.zero = false;
                    Padded(w, s, "", 0, "(nil)", 5);
                } else {
                    char* first = Digits(buf + sizeof buf, reinterpret_cast<uintptr_t>(ptr), 16, false);
                    Padded(w, s, "0x", 2, first, static_cast<size_t>(buf + sizeof buf - first));
                }
                break;
            }
            case 'd':
            case 'i':
            case 'u':
            case 'x':
            case 'X': {
                // Integer precision changes zero padding rules; vsnprintf has them.
                if (s.precision >= 0) return -1;
                const bool isSigned = conversion == 'd' || conversion == 'i';
                uint64_t magnitude = 0;
                bool negative = false;
                if (isSigned) {
                    int64_t v;
                    switch (length) {
                        // %hhd prints the argument as a signed char: its sign is the point.
                        // NOLINTNEXTLINE(bugprone-signed-char-misuse)
                        case -2: v = static_cast<signed char>(va_arg(args, int)); break;
                        case -1: v = static_cast<short>(va_arg(args, int)); break;
                        case 1: v = va_arg(args, long); break;
                        case 2: v = va_arg(args, long long); break;
                        case 3: v = va_arg(args, ptrdiff_t); break;
                        default: v = va_arg(args, int); break;
                    }
                    negative = v < 0;
                    magnitude = negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
                } else {
                    switch (length) {
                        case -2: magnitude = static_cast<unsigned char>(va_arg(args, unsigned)); break;
                        case -1: magnitude = static_cast<unsigned short>(va_arg(args, unsigned)); break;
                        case 1: magnitude = va_arg(args, unsigned long); break;
                        case 2: magnitude = va_arg(args, unsigned long long); break;
                        case 3: magnitude = va_arg(args, size_t); break;
                        default: magnitude = va_arg(args, unsigned); break;
                    }
                }
                char buf[24];
                const unsigned base = (conversion == 'x' || conversion == 'X') ? 16 : 10;
                char* first = Digits(buf + sizeof buf, magnitude, base, conversion == 'X');
                char prefix[3];
                size_t prefixLen = 0;
                if (negative)
                    prefix[prefixLen++] = '-';
                else if (isSigned && s.plus)
                    prefix[prefixLen++] = '+';
                else if (isSigned && s.space)
                    prefix[prefixLen++] = ' ';
                if (base == 16 && s.alt && magnitude != 0) {
                    prefix[prefixLen++] = '0';
                    prefix[prefixLen++] = conversion;
                }
                Padded(w, s, prefix, prefixLen, first, static_cast<size_t>(buf + sizeof buf - first));
                break;
            }
            default: return -1;
        }
    }
    const size_t total = w.Finish(size);
    return total > 0x7FFFFFFF ? -1 : static_cast<int>(total);
}

}  // namespace logline
