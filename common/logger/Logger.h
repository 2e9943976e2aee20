// The operations log: one process-wide CLogger, g_Logger, writing one line per call
// from any thread in the format "%6s %s | %s %s\n".
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>

enum LogLevel : int { LOG_ALL = 0, LOG_DEBUG = 1, LOG_INFO = 2, LOG_ERROR = 3, LOG_ASSERT = 4 };

class LogSink;

class CLogger {
public:
    CLogger(int product, int minLevel);
    ~CLogger();
    CLogger(const CLogger&) = delete;
    CLogger& operator=(const CLogger&) = delete;

    // Opens path for appending; on success switches logging on and writes the
    // machine-information block. A file already open is closed first; a failed open
    // leaves no file. An empty path changes nothing.
    void Open(const char* path);
    void Close();
    void Activate();
    bool IsLevelEnabled(int level) const {
        return m_bActive.load(std::memory_order_relaxed) && level >= m_nMinLevel.load(std::memory_order_relaxed);
    }
    const char* GetLogFileName() const { return m_szFileName.c_str(); }
    int GetMinLevel() const { return m_nMinLevel.load(); }
    void SetMinLevel(int level) { m_nMinLevel.store(level); }
    // Level word of the profile ("assert", "error", "info", "debug", "all", any case);
    // false when it matches none.
    static bool ParseLevel(const char* word, int* level);
    // Printed name of a level ("INFO"); "?" outside 0..4.
    static const char* LevelName(int level);

    void Write(int level, const char* text);
    unsigned long LogLastError();

    void Info(const char* text) { Write(LOG_INFO, text); }
    void Error(const char* text) { Write(LOG_ERROR, text); }
    void InfoValue(const char* name, const char* str);
    void ErrorValue(const char* name, const char* str);
    void InfoNumber(const char* text, long value);
    void ErrorNumber(const char* text, long value);
    void AssertNumber(int cond, const char* text, long value);
    int InfoF(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    int ErrorF(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void InfoBinary(const void* data, size_t count);
    // Writes ErrorNumber(text, line) when str cannot be read as a string.
    void CheckString(const char* str, const char* text, long line);

    // 127-character hex line of up to 16 bytes (exposed for tests).
    static std::string HexLine(const uint8_t* p, size_t n);

    // Makes the next line carry a time stamp, whatever the clock says.
    void ResetStampForTesting();

    // Limits of the formatting forms (characters kept, without the NUL).
    static constexpr size_t kValueLimit = 4095;
    static constexpr size_t kFormatLimit = 16383;

private:
    void WriteText(int level, const char* text, size_t len);
    void WriteLocked(int level, const char* text, size_t len);
    // Stamp text for a line written now ("" when the last stamp is under 2 s old).
    void StampLocked(char* out, size_t size);
    void ValueAt(int level, const char* name, const char* str);
    void NumberAt(int level, const char* text, long value);
    void WriteMachineInfo();
    void ReadProfileLevel();
    void CloseLocked();

    time_t m_tLastStamp;
    std::mutex m_csLock;
    int m_nProduct;
    // Read without the lock by the early-out tests; changed only under it.
    std::atomic<LogSink*> m_pFile{nullptr};
    std::atomic<int> m_nMinLevel;
    std::atomic<int> m_bActive{0};
    std::string m_szFileName;
};

// Built before any other static object of the program, so constructors and destructors
// of other files may log.
extern CLogger g_Logger;

#define LOGGER_STRINGIFY2(x) #x
#define LOGGER_STRINGIFY(x) LOGGER_STRINGIFY2(x)
// Logs a broken invariant and goes on; nothing is aborted.
#define LOGGER_ASSERT(expr) \
    g_Logger.AssertNumber((expr) ? 1 : 0, "A.F. Exp [" #expr "] File [" __FILE__ "] Line ", __LINE__)
// Logs at ERROR when a string argument cannot be read.
#define LOGGER_CHECK_STRING(str) \
    g_Logger.CheckString((str), "A.F. String invalid [" #str "] File [" __FILE__ "] Line ", __LINE__)
