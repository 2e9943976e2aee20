#include "common/logger/Logger.h"

#include <dlfcn.h>
#include <sys/uio.h>
#include <unistd.h>

#include <strings.h>
#include <cerrno>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <string>

#include "common/logger/LineFormat.h"
#include "common/logger/LogSink.h"
#include "common/logger/MemoryProbe.h"
#include "mvcmn/MvcmnApi.h"
#include "platform/DynamicLibrary.h"
#include "platform/Files.h"
#include "platform/Win32.h"

// First among the program's static objects: built before, and destroyed after, any
// object of another file that logs from its constructor or destructor.
__attribute__((init_priority(101))) CLogger g_Logger(12, LOG_ALL);

namespace {

constexpr const char* kLevelNames[] = {"ALL", "DEBUG", "INFO", "ERROR", "ASSERT"};
// The same names as "%6s" prints them, so a line's head needs no formatting.
constexpr const char* kPaddedLevelNames[] = {"   ALL", " DEBUG", "  INFO", " ERROR", "ASSERT"};
constexpr size_t kLevelWidth = 6;
constexpr const char* kRule = "====================================================";
constexpr size_t kSuffixLimit = 1023;
constexpr size_t kProfileValueSize = 256;
constexpr long kStringProbeLimit = 1000000;

// The last-error value and errno belong to the caller: logging must leave both as found.
class PreserveLastError {
public:
    PreserveLastError() : m_dwError(GetLastError()), m_nErrno(errno) {}
    ~PreserveLastError() {
        SetLastError(m_dwError);
        errno = m_nErrno;
    }

private:
    DWORD m_dwError;
    int m_nErrno;
};

// vsnprintf's result, from the logger's own formatter when it takes the format.
int FormatArgs(char* buffer, size_t size, const char* fmt, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int result = logline::Format(buffer, size, fmt, args);
    if (result < 0) result = std::vsnprintf(buffer, size, fmt, copy);
    va_end(copy);
    return result;
}

int FormatText(char* buffer, size_t size, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const int result = FormatArgs(buffer, size, fmt, args);
    va_end(args);
    return result;
}

// Appends text to out[*used], keeping at most limit characters in all.
void AppendCut(char* out, size_t* used, size_t limit, const char* text, size_t len) {
    const size_t room = limit - *used;
    const size_t n = len < room ? len : room;
    std::memcpy(out + *used, text, n);
    *used += n;
}

void FormatHexLine(char out[128], const uint8_t* p, size_t n) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::memset(out, ' ', 127);
    out[127] = '\0';
    if (n > 16) n = 16;
    for (size_t i = 0; i < n; ++i) {
        out[3 * i] = kDigits[p[i] >> 4];
        out[3 * i + 1] = kDigits[p[i] & 0x0F];
        // 0x14, not 0x20: the dump has always shown the low controls from there up.
        out[50 + i] = (p[i] >= 0x14 && p[i] <= 0x7F) ? static_cast<char>(p[i]) : '.';
    }
}

// "{0x%08x| text}" with the system text cut at its first line break.
size_t FormatErrorSuffix(char* out, size_t size, DWORD err) {
    const char* text = platform::Win32ErrorText(err);
    int n;
    if (text) {
        char message[kSuffixLimit + 1];
        std::snprintf(message, sizeof(message), "%s", text);
        message[strcspn(message, "\r\n")] = '\0';
        n = std::snprintf(out, size, "{0x%08x| %s}", static_cast<unsigned>(err), message);
    } else {
        n = std::snprintf(out, size, "{0x%08x| <FormatMessage fail>}", static_cast<unsigned>(err));
    }
    if (n < 0) return 0;
    return static_cast<size_t>(n) < size ? static_cast<size_t>(n) : size - 1;
}

}  // namespace

CLogger::CLogger(int product, int minLevel) : m_tLastStamp(time(nullptr)), m_nProduct(product), m_nMinLevel(minLevel) {
    ReadProfileLevel();
}

CLogger::~CLogger() { Close(); }

const char* CLogger::LevelName(int level) { return level >= LOG_ALL && level <= LOG_ASSERT ? kLevelNames[level] : "?"; }

bool CLogger::ParseLevel(const char* word, int* level) {
    static constexpr struct {
        const char* word;
        int level;
    } kWords[] = {
        {"assert", LOG_ASSERT}, {"error", LOG_ERROR}, {"info", LOG_INFO}, {"debug", LOG_DEBUG}, {"all", LOG_ALL}};
    if (!word) return false;
    for (const auto& entry : kWords) {
        if (strcasecmp(word, entry.word) == 0) {
            if (level) *level = entry.level;
            return true;
        }
    }
    return false;
}

void CLogger::ReadProfileLevel() {
    if (m_nProduct < 0) return;
    PreserveLastError keep;
    platform::DynamicLibrary library(platform::DynamicLibrary::RuntimeLibraryName());
    auto initialize = library.GetProc<MvInitializeProc>("Initialize");
    auto readProfile = library.GetProc<MvReadProfileStringProc>("ReadProfileString");
    if (!initialize || !readProfile) return;
    initialize(m_nProduct + kMvcmnProductBase);
    char value[kProfileValueSize] = {};
    readProfile("", "LogLevel", "", value, static_cast<int>(sizeof(value)), 0);
    value[sizeof(value) - 1] = '\0';
    int level = 0;
    if (ParseLevel(value, &level)) m_nMinLevel.store(level);
}

void CLogger::Open(const char* path) {
    if (!path || !*path) return;
    {
        PreserveLastError keep;
        std::lock_guard<std::mutex> lock(m_csLock);
        // Closed first: the same file opened again must not meet its own lock.
        CloseLocked();
        m_szFileName.clear();
        LogSink* sink = LogSink::Open(path);
        if (!sink) return;
        m_szFileName = path;
        m_pFile.store(sink);
        m_bActive.store(1);
    }
    WriteMachineInfo();
}

void CLogger::Close() {
    std::lock_guard<std::mutex> lock(m_csLock);
    CloseLocked();
}

void CLogger::CloseLocked() {
    m_bActive.store(0);
    delete m_pFile.exchange(nullptr);
}

void CLogger::Activate() {
    std::lock_guard<std::mutex> lock(m_csLock);
    if (m_pFile.load()) m_bActive.store(1);
}

void CLogger::ResetStampForTesting() {
    std::lock_guard<std::mutex> lock(m_csLock);
    m_tLastStamp = 0;
}

void CLogger::StampLocked(char* out, size_t size) {
    out[0] = '\0';
    const time_t now = time(nullptr);
    if (now - m_tLastStamp < 2) return;
    m_tLastStamp = now;
    struct tm local {};
    if (localtime_r(&now, &local))
        std::snprintf(out, size, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
}

void CLogger::Write(int level, const char* text) {
    // Lines that will not be written cost no strlen.
    if (!m_pFile.load(std::memory_order_relaxed) || !IsLevelEnabled(level)) return;
    WriteText(level, text, text ? std::strlen(text) : 0);
}

void CLogger::WriteText(int level, const char* text, size_t len) {
    if (!m_pFile.load(std::memory_order_relaxed) || !m_bActive.load(std::memory_order_relaxed)) return;
    std::lock_guard<std::mutex> lock(m_csLock);
    // A null text is dropped; the lock is still taken, as for any other line.
    if (!IsLevelEnabled(level) || !text) return;
    WriteLocked(level, text, len);
}

void CLogger::WriteLocked(int level, const char* text, size_t len) {
    LogSink* sink = m_pFile.load(std::memory_order_relaxed);
    if (!sink) return;
    char tail[kSuffixLimit + 3];
    size_t tailLen = 0;
    tail[tailLen++] = ' ';
    // Only ASSERT lines carry the error suffix, whenever the last error is set.
    const DWORD err = GetLastError();
    if (err != 0 && level == LOG_ASSERT) tailLen += FormatErrorSuffix(tail + tailLen, kSuffixLimit + 1, err);
    tail[tailLen++] = '\n';

    // "%6s %s | " without a formatter: this runs for every line.
    char head[kLevelWidth + 1 + 32 + 3];
    const bool known = level >= LOG_ALL && level <= LOG_ASSERT;
    std::memcpy(head, known ? kPaddedLevelNames[level] : "     ?", kLevelWidth);
    size_t headLen = kLevelWidth;
    head[headLen++] = ' ';
    StampLocked(head + headLen, 32);
    headLen += std::strlen(head + headLen);
    // head goes out by its length (iovec), never as a C string.
    std::memcpy(head + headLen, " | ", 3);  // NOLINT(bugprone-not-null-terminated-result)
    headLen += 3;

    const iovec parts[] = {{head, headLen}, {const_cast<char*>(text), len}, {tail, tailLen}};
    // Growing or failing to write the file must not change what the caller's errno says.
    const int savedErrno = errno;
    sink->Append(parts, 3);
    errno = savedErrno;
}

unsigned long CLogger::LogLastError() {
    const DWORD code = GetLastError();
    if (code != 0) {
        // Our system texts carry no line break, so the line stays one line.
        const char* text = platform::Win32ErrorText(code);
        ErrorF("GetLastError() = 0x%08x, %s", static_cast<unsigned>(code), text ? text : "");
    }
    return code;
}

void CLogger::InfoValue(const char* name, const char* str) {
    if (!IsLevelEnabled(LOG_INFO)) return;
    ValueAt(LOG_INFO, name, str);
}

void CLogger::ErrorValue(const char* name, const char* str) { ValueAt(LOG_ERROR, name, str); }

void CLogger::ValueAt(int level, const char* name, const char* str) {
    // "%s [%s]" (or "%s [null]") cut at the buffer's limit, built by hand: it is on
    // the path of every recovered file.
    char buffer[kValueLimit + 1];
    size_t used = 0;
    const char* shownName = name ? name : "(null)";
    const char* shownValue = str ? str : "null";
    AppendCut(buffer, &used, kValueLimit, shownName, std::strlen(shownName));
    AppendCut(buffer, &used, kValueLimit, " [", 2);
    AppendCut(buffer, &used, kValueLimit, shownValue, std::strlen(shownValue));
    AppendCut(buffer, &used, kValueLimit, "]", 1);
    WriteText(level, buffer, used);
}

void CLogger::InfoNumber(const char* text, long value) {
    if (!IsLevelEnabled(LOG_INFO)) return;
    NumberAt(LOG_INFO, text, value);
}

void CLogger::ErrorNumber(const char* text, long value) { NumberAt(LOG_ERROR, text, value); }

void CLogger::AssertNumber(int cond, const char* text, long value) {
    if (cond) return;
    NumberAt(LOG_ASSERT, text, value);
}

void CLogger::NumberAt(int level, const char* text, long value) {
    char buffer[kValueLimit + 1];
    FormatText(buffer, sizeof(buffer), "%s [%ld]", text ? text : "(null)", value);
    Write(level, buffer);
}

int CLogger::InfoF(const char* fmt, ...) {
    if (!IsLevelEnabled(LOG_INFO) || !fmt) return 0;
    char buffer[kFormatLimit + 1];
    va_list args;
    va_start(args, fmt);
    const int result = FormatArgs(buffer, sizeof(buffer), fmt, args);
    va_end(args);
    if (result >= 0) WriteText(LOG_INFO, buffer, static_cast<size_t>(result) < kFormatLimit ? result : kFormatLimit);
    return result;
}

int CLogger::ErrorF(const char* fmt, ...) {
    if (!fmt) return 0;
    char buffer[kFormatLimit + 1];
    va_list args;
    va_start(args, fmt);
    const int result = FormatArgs(buffer, sizeof(buffer), fmt, args);
    va_end(args);
    if (result >= 0) WriteText(LOG_ERROR, buffer, static_cast<size_t>(result) < kFormatLimit ? result : kFormatLimit);
    return result;
}

std::string CLogger::HexLine(const uint8_t* p, size_t n) {
    char line[128];
    FormatHexLine(line, p, n);
    return line;
}

void CLogger::InfoBinary(const void* data, size_t count) {
    if (!m_pFile.load(std::memory_order_relaxed) || !IsLevelEnabled(LOG_INFO)) return;
    // The whole dump goes out under the lock, so no other line lands inside it.
    std::lock_guard<std::mutex> lock(m_csLock);
    LogSink* sink = m_pFile.load();
    if (!sink || !IsLevelEnabled(LOG_INFO)) return;
    char stamp[32];
    StampLocked(stamp, sizeof(stamp));
    char line[256];
    auto put = [&](int n) {
        if (n < 0) return;
        const iovec part{line, static_cast<size_t>(n) < sizeof(line) ? static_cast<size_t>(n) : sizeof(line) - 1};
        sink->Append(&part, 1);
    };
    put(std::snprintf(line, sizeof(line), "%6s %s | %s\n", LevelName(LOG_INFO), stamp, "binary data starts..."));
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (!IsReadableMemory(data, count)) {
        put(std::snprintf(line, sizeof(line), "The binary data here seems to be an invalid memory block\n"));
        put(std::snprintf(line, sizeof(line), "There is no way to show it, the pointer was 0x%08" PRIXPTR "\n",
                          reinterpret_cast<uintptr_t>(data)));
    } else {
        for (size_t offset = 0; offset < count; offset += 16) {
            char hex[128];
            FormatHexLine(hex, bytes + offset, count - offset < 16 ? count - offset : 16);
            put(std::snprintf(line, sizeof(line), "  %08zX %s\n", offset, hex));
        }
    }
    put(std::snprintf(line, sizeof(line), "%6s %s | %s\n", LevelName(LOG_INFO), stamp, "binary data ends.\n"));
}

void CLogger::CheckString(const char* str, const char* text, long line) {
    if (!IsReadableString(str, kStringProbeLimit)) ErrorNumber(text, line);
}

namespace {
// The folder of the C library this process runs on: what the system folder is to Windows.
std::string SystemLibraryFolder() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&std::fclose), &info) || !info.dli_fname) return {};
    std::string path = info.dli_fname;
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) return {};
    return path.substr(0, slash);
}
}  // namespace

void CLogger::WriteMachineInfo() {
    PreserveLastError keep;
    Info(" ");
    Info(kRule);
    Info("============== LOGGER MACHINE INFO =================");
    Info(kRule);
    InfoValue("__DATE__", __DATE__);
    InfoValue("__TIME__", __TIME__);
    Info("RELEASE VERSION");

    char buffer[kValueLimit + 1];
    const time_t now = time(nullptr);
    struct tm local {};
    if (localtime_r(&now, &local)) {
        std::snprintf(buffer, sizeof(buffer), "%02d.%02d.%04d %02d:%02d:%02d", local.tm_mday, local.tm_mon + 1,
                      local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
        InfoValue("Today is", buffer);
    }
    if (getcwd(buffer, sizeof(buffer))) InfoValue("GetCurrentDirectory", buffer);
    const std::string systemFolder = SystemLibraryFolder();
    if (!systemFolder.empty()) InfoValue("GetSystemDirectory", systemFolder.c_str());
    // The folder the system is installed in.
    InfoValue("GetWindowsDirectory", "/");
    InfoValue("GetTempPath", platform::GetTempPath().c_str());
    if (const char* tmp = std::getenv("MORVANTTMP")) InfoValue("%%MORVANTTMP%%", tmp);
    if (gethostname(buffer, sizeof(buffer)) == 0) {
        buffer[sizeof(buffer) - 1] = '\0';
        InfoValue("GetComputerName", buffer);
    }
    Info(kRule);
}
