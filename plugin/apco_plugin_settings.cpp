// CApcoPlugin: settings per receiver in the current user's registry, loaded once the main
// window exists and saved when the plug-in object goes.
//
// Stored values are not trusted: anyone can edit the key. A value of the wrong type or out of
// its range takes its default, strings are read only from string types and always
// terminated, and a code list is read only as binary, whole words only, at most
// kMaxStoredCodes of them (the window masks and orders them).
#include <algorithm>
#include <cstring>

#include "foundation/scratch_buffer.h"
#include "foundation/win32/folders.h"
#include "foundation/win32/registry_key.h"
#include "plugin/apco_plugin.h"
#include "ui/k927_apco_plugin_window.h"
#include "ui/setup_dialog.h"

namespace {

constexpr char kSettingsRoot[] = "Software\\Quorvane Communications\\K927Apco\\";
constexpr uint32_t kMaxStoredCodes = 4096;
constexpr DWORD kMaxListBytes = 1u << 20;
constexpr DWORD kMaxTextBytes = 2048;

struct CodeListName {
    const char* name;
    uint32_t bit;
};
constexpr CodeListName kCodeLists[] = {{"SquelchNAC", kSquelchNAC},
                                       {"SquelchTGID", kSquelchTGID},
                                       {"SquelchSID", kSquelchSID},
                                       {"SquelchDID", kSquelchDID}};

// The receiver's 8-character identifier from the host record, or "unknown" without a record
// (an empty identifier would put the settings into the parent key itself).
String SettingsPath(const uint8_t* hostRecord) {
    String path(kSettingsRoot);
    if (!hostRecord || !hostRecord[76]) return path + "unknown";
    char id[9] = {};
    for (int i = 0; i < 8 && hostRecord[76 + i]; ++i) {
        const char c = static_cast<char>(hostRecord[76 + i]);
        id[i] = (c == '\\' || static_cast<unsigned char>(c) < 32) ? '_' : c;
    }
    return path + id;
}

String ReadText(HKEY key, const char* name) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0 || size > kMaxTextBytes)
        return String("");
    char text[kMaxTextBytes + 1];
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size > kMaxTextBytes)
        return String("");
    text[size] = 0;
    return String(text);
}

uint32_t ReadInRange(RegistryKey& key, const char* name, int32_t defaultValue, int32_t low, int32_t high) {
    const int32_t v = static_cast<int32_t>(key.ReadDword(name, static_cast<uint32_t>(defaultValue)));
    return static_cast<uint32_t>(v < low || v > high ? defaultValue : v);
}

}  // namespace

void CApcoPlugin::SaveSquelchCodes(HKEY key, const char* name, uint32_t bit) {
    if (!name || !*name || !m_window) return;
    const CSquelchCodeList* list = m_window->GetSquelchList(bit);
    const uint32_t n = list ? list->Count() : 0;
    ScratchBuffer<uint32_t> codes;
    uint32_t* data = n ? codes.Reserve(n) : nullptr;
    if (data && list->CopyTo(data, n) == n) {
        RegSetValueExA(key, name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(data), n * 4);
    } else if (n == 0) {
        RegDeleteValueA(key, name);
    }
}

void CApcoPlugin::LoadSquelchCodes(HKEY key, const char* name, uint32_t bit) {
    if (!name || !*name || !m_window) return;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_BINARY ||
        size < 4 || size > kMaxListBytes)
        return;
    ScratchBuffer<uint8_t> bytes;
    uint8_t* data = bytes.Reserve(size);
    DWORD read = size;
    if (!data || RegQueryValueExA(key, name, nullptr, &type, data, &read) != ERROR_SUCCESS || read != size ||
        type != REG_BINARY)
        return;
    uint32_t count = size / 4;  // a trailing partial word is dropped
    if (count > kMaxStoredCodes) count = kMaxStoredCodes;
    ScratchBuffer<uint32_t> codes;
    uint32_t* words = codes.Reserve(count);
    if (!words) return;
    std::memcpy(words, data, count * 4);
    m_window->SetSquelchValues(bit, words, count);
}

void CApcoPlugin::SaveSettings() {
    if (!m_settingsLoaded) return;
    RegistryKey* key = RegistryKey::Open(HKEY_CURRENT_USER, SettingsPath(m_hostRecord), 1, KEY_ALL_ACCESS);
    if (!key) return;
    if (!key->GetHandle() || !m_window) {
        delete key;
        return;
    }
    CK927ApcoPluginWindow* w = m_window;
    key->WriteDword("DemodulationMode", m_demodMode);
    key->WriteDword("NotchEnabled", static_cast<uint32_t>(w->GetNotchEnabled()));
    key->WriteDword("NotchFrequency", static_cast<uint32_t>(w->GetNotchFrequency()));
    key->WriteDword("NotchWidth", static_cast<uint32_t>(w->GetNotchWidth()));
    const String audioDir = w->GetAudioDirPath();
    if (audioDir.Length()) key->WriteString("AudioDir", audioDir);
    key->WriteString("SelectedFile", w->GetSelectedAudioFile());
    key->WriteDword("Volume", static_cast<uint32_t>(w->GetVolume()));
    key->WriteDword("Mute", static_cast<uint32_t>(w->GetMute()));
    for (const CodeListName& list : kCodeLists) SaveSquelchCodes(key->GetHandle(), list.name, list.bit);
    key->WriteDword("SquelchBER", m_squelchBer);
    key->WriteDword("SquelchFlag", m_squelchFlag);
    key->WriteDword("LevelSqVal", m_levelSqVal);
    key->WriteDword("NoiseSqVal", m_noiseSqVal);
    key->WriteDword("VoiceSqVal", m_voiceSqVal);
    key->WriteDword("CTCSSSqVal", static_cast<uint32_t>(m_ctcssSqVal));
    key->WriteDword("DCSSqVal", m_dcsSqVal);
    key->WriteString("WaveOutDevice", w->GetWaveOutDeviceName());
    key->WriteDword("AFFreqLow", static_cast<uint32_t>(m_afFreqLow));
    key->WriteDword("AFFreqHigh", static_cast<uint32_t>(m_afFreqHigh));
    key->WriteDword("AFLowppas", m_afLowpass ? 1 : 0);
    key->WriteDword("AFDeemphasis", static_cast<uint32_t>(m_afDeemphasis));
    key->WriteDword("AFFilterLen", static_cast<uint32_t>(m_afFilterLen));
    key->WriteDword("AFEnabled", m_afEnabled ? 1 : 0);
    key->WriteDword("SquelchType", m_squelchType);
    key->WriteDword("InvertSquelch", m_invertSquelch ? 1 : 0);
    key->WriteDword("PauseUnderSquelch", m_pauseUnderSquelch ? 1 : 0);
    key->WriteDword("PauseNoApco", m_pauseNoApco ? 1 : 0);
    key->WriteString("LogFileName", w->GetLogFileName());
    key->WriteDword("LoggingParams", m_loggingParams);
    key->WriteDword("LoggingEnabled", m_logOpen ? 1 : 0);
    delete key;
}

// A drive root is taken as it is; any other folder is created when missing. The system's
// error boxes stay off meanwhile (a drive without a medium would ask the user), and the
// previous error mode comes back afterwards.
void CApcoPlugin::LoadAudioDir(const String& folder) {
    if (folder.Length() == 0) {
        m_window->SetDefaultAudioDir();
        return;
    }
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const int n = folder.Length();
    const bool driveRoot = (n == 2 || n == 3) && folder.CStr()[1] == ':';
    if (driveRoot || CreateDirectoryPath(folder))
        m_window->SetAudioDirPath(folder.CStr());
    else
        m_window->SetDefaultAudioDir();
    SetErrorMode(previous);
}

void CApcoPlugin::LoadSettings() {
    if (!m_window) return;
    m_settingsLoaded = true;
    RegistryKey* opened = RegistryKey::Open(HKEY_CURRENT_USER, SettingsPath(m_hostRecord), 1, KEY_ALL_ACCESS);
    if (!opened || !opened->GetHandle()) {
        // Nothing stored can be read: every setting keeps its value. The recordings still need
        // a folder, which is not a stored value until chosen (without one they would go to the
        // root of the current drive).
        delete opened;
        m_window->SetDefaultAudioDir();
        return;
    }
    RegistryKey& key = *opened;
    CK927ApcoPluginWindow* w = m_window;
    const HKEY handle = key.GetHandle();
    const uint32_t mode = ReadInRange(key, "DemodulationMode", kModeBoth, kModeBoth, kModeFm);
    m_demodMode = mode;
    {
        CriticalSectionLock lock(&m_fileLock);
        m_pauseUnderSquelch = key.ReadDword("PauseUnderSquelch", 0) != 0;
        m_pauseNoApco = key.ReadDword("PauseNoApco", 0) != 0;
    }
    w->SetPauseUnderSquelch(m_pauseUnderSquelch);
    w->SetPauseNoApco(m_pauseNoApco);
    w->SetNotchEnabled(key.ReadDword("NotchEnabled", 0) != 0);
    w->SetNotchWidth(static_cast<int>(ReadInRange(key, "NotchWidth", 100, 1, 20000)));
    w->SetNotchFrequency(static_cast<int>(ReadInRange(key, "NotchFrequency", 0, -20000, 20000)));
    for (const CodeListName& list : kCodeLists) LoadSquelchCodes(handle, list.name, list.bit);
    RefreshSquelchCodes();
    m_squelchBer = ReadInRange(key, "SquelchBER", 0, 0, 100);
    w->SetSquelchValue(kSquelchBER, m_squelchBer);
    m_squelchFlag = key.ReadDword("SquelchFlag", 0);
    m_levelSqVal = key.ReadDword("LevelSqVal", 0);
    m_noiseSqVal = key.ReadDword("NoiseSqVal", 0);
    m_voiceSqVal = ReadInRange(key, "VoiceSqVal", 0, 0, 100);
    m_ctcssSqVal = static_cast<int32_t>(key.ReadDword("CTCSSSqVal", 0));
    m_dcsSqVal = key.ReadDword("DCSSqVal", 0);
    w->SetWaveOutDeviceName(ReadText(handle, "WaveOutDevice").CStr());
    SetVolume(ReadInRange(key, "Volume", 8, 0, 32));
    SetMute(key.ReadDword("Mute", 0) != 0);
    LoadAudioDir(ReadText(handle, "AudioDir"));
    w->SelectAudioFile(ReadText(handle, "SelectedFile").CStr());
    // The filter's edges must stay ordered and within the setup window's cut-off fields, so
    // that the plug-in filters with the edges the window shows.
    const int low = std::min(static_cast<int>(ReadInRange(key, "AFFreqLow", 300, 0, 23999)), CSetupDialog::kMaxCutoffHz);
    const int high =
        std::min(static_cast<int>(ReadInRange(key, "AFFreqHigh", 3000, 1, 23999)), CSetupDialog::kMaxCutoffHz);
    m_afFreqLow = low < high ? low : 300;
    m_afFreqHigh = low < high ? high : 3000;
    m_afLowpass = key.ReadDword("AFLowppas", 0) != 0;
    m_afDeemphasis = static_cast<int>(ReadInRange(key, "AFDeemphasis", -60, -1000, 0));
    m_afFilterLen = static_cast<int>(ReadInRange(key, "AFFilterLen", 512, 1, 16384));
    UpdateAudioFilter();
    w->SetAudioFilterFreqLow(m_afFreqLow);
    w->ReadAudioFilterParams(m_afFilter);
    SetAudioFilterEnabled(key.ReadDword("AFEnabled", 1) != 0);
    m_invertSquelch = key.ReadDword("InvertSquelch", 0) != 0;
    w->SetInvertSquelch(m_invertSquelch);
    SetSquelchType(key.ReadDword("SquelchType", 0) & 0x1F);
    w->SetLogFileName(ReadText(handle, "LogFileName").CStr());
    m_loggingParams = key.ReadDword("LoggingParams", 0x80000001u);
    w->SetLoggingParams(m_loggingParams);
    const bool logging = key.ReadDword("LoggingEnabled", 0) != 0;
    delete opened;
    if (logging) OpenLogFile();
    // The window shows the mode last (it reports it back, unchanged by then); the start state
    // of the mode follows as a switch to it would leave it.
    if (mode == kModeFm)
        m_statusCountdown = kStatusCountdownDone;
    else
        m_p25Seen = 100;
    m_window->SetDemodMode(mode);
}
