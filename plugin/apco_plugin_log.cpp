// CApcoPlugin: the CSV call log. Lines of the UTC date and time, the receiver frequency, the
// kind of signal and the four identifiers last shown, appended to the file the setup window
// names; periodic (the window's logging timer) or on events. GUI thread only.
#include <cstdio>

#include "foundation/win32/folders.h"
#include "plugin/apco_plugin.h"
#include "ui/k927_apco_plugin_window.h"

namespace {

constexpr uint32_t kEventLogging = 0x80000000u;
constexpr uint32_t kOnlyUnsquelched = 0x40000000u;
constexpr uint32_t kMaxIntervalSeconds = 3600;
constexpr char kHeader[] = "Date, Time (UTC), Frequency (Hz), Mode, NAC, TGID, SID, DID";

// An identifier masked to its width, or the dashes of an undecoded one.
void FormatCode(char* out, size_t size, int32_t value, uint32_t mask, const char* none) {
    if (value == -1)
        std::snprintf(out, size, "%s", none);
    else
        std::snprintf(out, size, "%u", static_cast<uint32_t>(value) & mask);
}

}  // namespace

void CApcoPlugin::OpenLogFile() {
    if (m_logOpen || !m_window) return;
    m_logHeaderWritten = false;
    if (m_logFile != INVALID_HANDLE_VALUE) CloseHandle(m_logFile);
    // The file the setup window shows: the default one when no name is stored. A fresh install
    // has no folder for it yet; it is made as the default recordings folder is. A folder the
    // user chose is never made up.
    const String name = m_window->GetLogFileName(1);
    if (m_window->GetLogFileName().Length() == 0 && name.Length()) CreateDirectoryPath(name.GetDirectory());
    m_logFile =
        CreateFileA(name.CStr(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const char* error = nullptr;
    const uint32_t interval = m_loggingParams & 0xFFFF;
    if (m_logFile == INVALID_HANDLE_VALUE)
        error = "Failed to open the log file.";
    else if (!(m_loggingParams & kEventLogging) && interval == 0)
        error = "Invalid time interval for logging.";
    if (error) {
        // The handle goes too: a log that stays off must not keep the file open and locked.
        if (m_logFile != INVALID_HANDLE_VALUE) CloseHandle(m_logFile);
        m_logFile = INVALID_HANDLE_VALUE;
        m_window->SetLoggingEnabled(false);
        m_window->DisplayError(error, 0);
        return;
    }
    SetFilePointer(m_logFile, 0, nullptr, FILE_END);
    if (m_loggingParams & kEventLogging)
        m_window->DestroyLoggingTimer();
    else
        m_window->CreateLoggingTimer((interval < kMaxIntervalSeconds ? interval : kMaxIntervalSeconds) * 1000);
    m_window->SetLoggingEnabled(true);
    m_logOpen = true;
    // A closing instance (its start-up interrupted in a box) writes nothing more.
    if ((m_loggingParams & kEventLogging) && !IsClosing()) WriteLogEntry();
}

void CApcoPlugin::CloseLogFile() {
    if (!m_logOpen && m_logFile == INVALID_HANDLE_VALUE) return;
    if (m_window) m_window->DestroyLoggingTimer();
    if (m_logFile != INVALID_HANDLE_VALUE) CloseHandle(m_logFile);
    m_logFile = INVALID_HANDLE_VALUE;
    if (m_window) m_window->SetLoggingEnabled(false);
    m_logOpen = false;
}

void CApcoPlugin::LogEvent() {
    if (m_logOpen && (m_loggingParams & kEventLogging)) WriteLogEntry();
}

void CApcoPlugin::WriteLogEntry() {
    if (!m_logOpen || m_logFile == INVALID_HANDLE_VALUE || !m_window) {
        CloseLogFile();
        return;
    }
    if (!m_logHeaderWritten) {
        m_logHeaderWritten = WriteLogHeader();
        // A failed write has closed the log and said so: one failure, one box.
        if (!m_logHeaderWritten) return;
    }
    ApcoParams p;
    m_window->GetApcoParams(&p);
    if ((m_loggingParams & kOnlyUnsquelched) && MatchSquelchCodes(p.nac, p.tgid, p.sourceId, p.destinationId)) return;
    SYSTEMTIME now;
    GetSystemTime(&now);
    char date[200] = {}, time[200] = {};
    if (!GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, date, sizeof date)) date[0] = 0;
    if (!GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &now, nullptr, time, sizeof time)) time[0] = 0;
    char fields[6][16];
    std::snprintf(fields[0], sizeof fields[0], "%u", m_receiverHz.load());
    const uint32_t shown = m_window->GetCurDemod();
    std::snprintf(fields[1], sizeof fields[1], "%s", shown == kSignalP25 ? "APCO" : shown == kSignalFM ? "FM" : "----");
    FormatCode(fields[2], sizeof fields[2], p.nac, 0xFFF, "---");
    FormatCode(fields[3], sizeof fields[3], p.tgid, 0xFFFF, "----");
    FormatCode(fields[4], sizeof fields[4], p.sourceId, 0xFFFFFF, "------");
    FormatCode(fields[5], sizeof fields[5], p.destinationId, 0xFFFFFF, "------");
    if (!WriteLogField(date, false) || !WriteLogField(time, false)) return;
    for (int i = 0; i < 6; ++i)
        if (!WriteLogField(fields[i], i == 5)) return;
}

// Every opening starts its block with an empty line and the header.
bool CApcoPlugin::WriteLogHeader() {
    if (m_logFile == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    if (GetFileSizeEx(m_logFile, &size) && !WriteLogField("", true)) return false;
    return WriteLogField(kHeader, true);
}

bool CApcoPlugin::WriteLogField(const char* text, bool last) {
    if (m_logFile == INVALID_HANDLE_VALUE || !text) return false;
    char line[256];
    int n = std::snprintf(line, sizeof line, last ? "%s\r\n" : "%s, ", text);
    if (n < 0) n = 0;
    if (n >= static_cast<int>(sizeof line)) n = sizeof line - 1;
    DWORD written = 0;
    if (WriteFile(m_logFile, line, static_cast<DWORD>(n), &written, nullptr) && written == static_cast<DWORD>(n))
        return true;
    // The log stops (timer and file) before the box: its loop runs the timer and the host's
    // frequency changes, which must find nothing more to write.
    CloseLogFile();
    if (m_window) m_window->DisplayError("Failed to write to log file. Logging will now stop.\n", 0);
    return false;
}
