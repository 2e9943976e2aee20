// Text of a libyal-style error object (libewf, libvhdi, libvmdk, libqcow share the
// shape: an opaque error freed by its own function, printed by error_sprint).
#pragma once

#include <string>

namespace platform {

template <typename Error, int (*Sprint)(Error*, char*, size_t), void (*Free)(Error**)>
class LibraryError {
public:
    LibraryError() = default;
    LibraryError(const LibraryError&) = delete;
    LibraryError& operator=(const LibraryError&) = delete;
    ~LibraryError() { Reset(); }

    Error** operator&() { return &m_error; }

    // The library's message, flattened to one line; then forgets the error.
    std::string Take() {
        std::string text;
        if (m_error != nullptr) {
            char buffer[1024] = {};
            if (Sprint(m_error, buffer, sizeof buffer) > 0) text = buffer;
            for (char& c : text) {
                if (c == '\n' || c == '\r') c = ' ';
            }
            while (!text.empty() && text.back() == ' ') text.pop_back();
        }
        Reset();
        return text;
    }

    void Reset() {
        if (m_error != nullptr) Free(&m_error);
        m_error = nullptr;
    }

private:
    Error* m_error = nullptr;
};

}  // namespace platform
