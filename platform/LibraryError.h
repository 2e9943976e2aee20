// Text of a libyal-style error object (libewf, libvhdi, libvmdk, libqcow share the
// shape: an opaque error freed by its own function, printed by error_sprint, its chain
// of causes by error_backtrace_sprint).
#pragma once

#include <string>

namespace platform {

template <typename Error, int (*Sprint)(Error*, char*, size_t), int (*Backtrace)(Error*, char*, size_t),
          void (*Free)(Error**)>
class LibraryError {
public:
    LibraryError() = default;
    LibraryError(const LibraryError&) = delete;
    LibraryError& operator=(const LibraryError&) = delete;
    ~LibraryError() { Reset(); }

    Error** operator&() { return &m_error; }

    // The library's message and, when it differs, the first cause in its chain (the
    // outer message alone rarely says what is wrong); then forgets the error.
    std::string Take() {
        std::string text;
        if (m_error != nullptr) {
            char buffer[1024] = {};
            if (Sprint(m_error, buffer, sizeof buffer) > 0) text = OneLine(buffer);
            char chain[4096] = {};
            if (Backtrace(m_error, chain, sizeof chain) > 0) {
                std::string first(chain);
                first = OneLine(first.substr(0, first.find('\n')));
                if (!first.empty() && first != text) text += " (" + first + ")";
            }
        }
        Reset();
        return text;
    }

    void Reset() {
        if (m_error != nullptr) Free(&m_error);
        m_error = nullptr;
    }

private:
    static std::string OneLine(std::string text) {
        for (char& c : text) {
            if (c == '\n' || c == '\r') c = ' ';
        }
        while (!text.empty() && (text.back() == ' ' || text.back() == '.')) text.pop_back();
        return text;
    }

    Error* m_error = nullptr;
};

}  // namespace platform
