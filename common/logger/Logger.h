// The operations log: one process-wide CLogger, g_Logger, writing one line per call
// from any thread in the format "%6s %s | %s %s\n".
#pragma once

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
    // machine-information block. An empty path or a failed open leaves no file.
    void Open(const char* path);
    void Close();
    void Activate();
    bool IsLevelEnabled(int level) const;
    const char* GetLogFileName() const { return m_szFileName.c_str(); }
    int GetMinLevel() const { return m_nMinLevel; }
    void SetMinLevel(int level) { m_nMinLevel = level; }
    // Level word of the profile ("assert", "error", "info", "debug", "all", any case);
    // false when it matches none.
    static bool ParseLevel(const char* word, int* level);

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
    void CheckString(const char* str, const char* text, long line);

    // 127-character hex line of up to 16 bytes (exposed for tests).
    static std::string HexLine(const uint8_t* p, size_t n);

private:
    void WriteLocked(int level, const char* text, size_t len);
    void StampLocked(char* out, size_t size);
    void WriteMachineInfo();
    void ReadProfileLevel();

    time_t m_tLastStamp;
    std::mutex m_csLock;
    int m_nProduct;
    LogSink* m_pFile = nullptr;
    int m_nMinLevel;
    int m_bActive = 0;
    std::string m_szFileName;
};

extern CLogger g_Logger;

#define LOGGER_STRINGIFY2(x) #x
#define LOGGER_STRINGIFY(x) LOGGER_STRINGIFY2(x)
// Logs a broken invariant and goes on; nothing is aborted.
#define LOGGER_ASSERT(expr) \
    g_Logger.AssertNumber((expr) ? 1 : 0, "A.F. Exp [" #expr "] File [" __FILE__ "] Line ", __LINE__)
