// CApcoPlugin: construction, the second stage, the receiver binding and destruction.
#include "plugin/apco_plugin.h"

#include <cstring>

#include "plugin/boundary.h"
#include "plugin/host_record.h"
#include "toolkit/application.h"
#include "toolkit/message_dialog.h"
#include "ui/k927_apco_plugin_window.h"

namespace {

constexpr DWORD kWindowStyle = 0x86000000;
constexpr DWORD kWindowExStyle = 0x10000;
constexpr uint32_t kHostFlagsRunning = 0x10004;

bool IsWow64() {
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    HMODULE kernel = GetModuleHandleA("kernel32");
    auto fn =
        kernel ? reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")))
               : nullptr;
    BOOL wow = FALSE;
    return fn && fn(GetCurrentProcess(), &wow) && wow;
}

}  // namespace

CApcoPlugin::CApcoPlugin(uint32_t hostHandle, const void* hostRecord) : m_receiverHandle(hostHandle) {
    m_params = MakeEmptyApcoParams();
    m_fft.SetFFTSize(4096);
    m_fft.SetOverlap(1);
    m_fft.SetWindow(1);
    m_hostRecord = DuplicateHostRecord(hostRecord);
    CreatePluginWindow();
    DemodStart();
    m_c4fm.EnsureFilters();
    m_busy = false;
}

void CApcoPlugin::CreatePluginWindow() {
    if (m_window) return;
    m_window = new (std::nothrow) CK927ApcoPluginWindow(
        kWindowStyle, kWindowExStyle, 0, 0, CK927ApcoPluginWindow::kWidth, CK927ApcoPluginWindow::kHeight, nullptr);
    if (!m_window) return;
    m_window->SetPlugin(this);
    BindWindowEvents();
}

// The handlers of the settings, player and call-log events arrive with their own code; an
// unbound event does nothing.
void CApcoPlugin::BindWindowEvents() {
    m_window->OnInitialize.Bind(this, &CApcoPlugin::OnInitializeEvent);
    m_window->OnCallPluginProc.Bind(this, &CApcoPlugin::OnCallPluginProcEvent);
    m_window->OnDemodModeChange.Bind(this, &CApcoPlugin::OnDemodModeEvent);
    m_window->OnScanningDelayTimer.Bind(this, &CApcoPlugin::OnScanningDelayEvent);
    m_window->OnRcvCheckTimer.Bind(this, &CApcoPlugin::OnRcvCheckEvent);
    BindSettingsEvents();
}

void CApcoPlugin::OnInitializeEvent(Object*) {
    CallGuarded("OnWindowReady", [&] {
        OnWindowReady();
        if (!IsClosing()) ConnectReceiver();
    });
}

void CApcoPlugin::OnCallPluginProcEvent(Object*, HostCallRecord* record, uint32_t size, int direct) {
    CallGuarded("HandleCallPluginProc", [&] { HandleCallPluginProc(record, size, direct); });
}

void CApcoPlugin::OnDemodModeEvent(Object*, uint32_t mode) {
    CallGuarded("SetDemodulationMode", [&] { SetDemodulationMode(mode); });
}

void CApcoPlugin::OnScanningDelayEvent(Object*) {
    CallGuarded("SendScanningSpectrum", [&] { SendScanningSpectrum(); });
}

void CApcoPlugin::OnRcvCheckEvent(Object*) {
    CallGuarded("CheckReceiver", [&] { CheckReceiver(); });
}

HWND CApcoPlugin::GetWindowHandle() const { return m_window ? m_window->GetHandle() : nullptr; }

void CApcoPlugin::OnWindowReady() {
    if (m_windowReady || IsClosing()) return;
    m_windowReady = true;
    m_fm.SetGain(1.0f);
    m_noiseFilter = CreateFirFilter();
    if (m_noiseFilter) {
        m_noiseFilter->SetFrequency(5000.0f);
        m_noiseFilter->SetTaps(128);
        m_noiseFilter->SetSampleRate(static_cast<float>(m_currentIfRate.load()));
        m_noiseFilter->SetType(kFilterHighPass);
        m_noiseFilter->SetWindow(1);
        m_noiseFilter->SetDeemphasis(0.0f);
    }
    m_ifResampler.SetRates(static_cast<float>(m_streamRate), static_cast<float>(m_outputRate), 2048);
    m_voiceResampler.SetRates(static_cast<float>(kVoiceRate), static_cast<float>(m_outputRate), kVoiceBlockSamples);
    m_decoder.SetBlockSize(kVoiceBlockSamples);
    m_afFilter = CreateFirFilter();
    if (m_window) m_window->Initialize();
    {
        CriticalSectionLock lock(&m_poolLock);
        for (AudioBuffer& buffer : m_audioBuffers) {
            int16_t* data = buffer.Reserve(kAudioBufferSamples);
            if (!data) continue;
            std::memset(data, 0, 512);
            buffer.SetCount(0);
            m_audioBufferPool.Insert(reinterpret_cast<ItemArray::Item>(&buffer), 0xFFFFFFFFu);
        }
    }
    m_player = new (std::nothrow) WaveOutPlayer(m_outputRate);
    if (m_player) {
        m_player->SetOwner(this);
        m_player->SetBufferCount(3);
    }
    uint32_t hz = CallPluginProc(PM_GETVALUE, PN_FREQUENCY, 0, nullptr);
    m_receiverHz = hz == kHostNoAnswer ? 0 : hz;
    uint32_t scanning = CallPluginProc(PM_GETVALUE, PN_SCANNING, 0, nullptr);
    m_scanning = scanning != kHostNoAnswer && scanning != 0;
    LoadSettings();
    // A close asked for inside one of its boxes ends the start-up here; the settings are
    // all loaded by then, so the close saves them back unchanged.
    if (IsClosing()) return;
    UpdateAudioFilter();
    UpdateHostFlags(m_demodMode != kModeP25);
    CallPluginProc(PM_SCANNING, 0, 0, nullptr);
    CallPluginProc(PM_BANDWIDTH, 12500, 0, nullptr);
    SquelchParams settings{};
    settings.level = m_levelSqVal;
    settings.noiseLevel = m_noiseSqVal;
    settings.ctcssMilliHz = static_cast<uint32_t>(m_ctcssSqVal);
    settings.voicePercent = m_voiceSqVal;
    settings.dcsCode = static_cast<int32_t>(m_dcsSqVal);
    CallPluginProc(PM_SQUELCHSETTINGS, m_squelchFlag, sizeof settings, &settings);
    uint32_t squelch = CallPluginProc(PM_GETVALUE, PN_SQUELCH, 0, nullptr);
    if (squelch != kHostNoAnswer) SetHostSquelch(squelch);
    uint32_t enabled = CallPluginProc(PM_GETVALUE, PN_ENABLE, 0, nullptr);
    if (enabled != kHostNoAnswer) EnablePlugin(enabled);
    CallPluginProc(PM_SETFLAGS, kHostFlagsRunning, 0, nullptr);
}

int CApcoPlugin::ConnectReceiver() {
    if (IsClosing()) return 0;
    if (!m_receiver.Load()) {
        if (m_window) m_window->DisplayError("Failed to load K927API.", 0);
        return 0;
    }
    ReadReceiverEeprom();
    char folder[1025] = {};
    DWORD n = GetModuleFileNameA(nullptr, folder, 1024);
    if (n >= 1024) n = 1023;
    folder[n] = 0;
    if (char* slash = std::strrchr(folder, '\\')) *slash = 0;
    if (!m_receiver.SetAdvancedMode(m_receiverHandle, 1, folder)) return 0;
    // Only a volume actually read is given back at the close: a connection that stopped
    // earlier must not leave the receiver at 0.
    if (m_receiver.HasVolume()) {
        m_savedVolume = m_receiver.GetVolume(m_receiverHandle);
        m_volumeRead = true;
    }
    if (!m_receiver.SetupStreams(m_receiverHandle, &CApcoPlugin::IFStreamCallback, this)) {
        if (m_window) m_window->DisplayError("Failed to setup streams.", 0);
        return 0;
    }
    if (m_player) m_player->Open();
    return 1;
}

void CApcoPlugin::ReadReceiverEeprom() {
    if (!m_receiver.IsLoaded() || !m_receiver.HasEeprom()) return;
    uint8_t eeprom[ReceiverApi::kEepromBytes] = {};
    if (!m_receiver.GetEeprom(m_receiverHandle, eeprom)) return;
    std::memcpy(&m_eepromWord, eeprom + 140, 4);
    // The analyzer's linearisation: one signed byte per coefficient (stored offset by 128),
    // guarded by a 16-bit sum of the bytes clamped to 113..143, stored little-endian behind them.
    int8_t coeffs[kLinearizationCoeffs];
    uint16_t sum = 0;
    for (int i = 0; i < kLinearizationCoeffs; ++i) {
        const uint8_t raw = eeprom[kLinearizationOffset + i];
        sum = static_cast<uint16_t>(sum + (raw < 113 ? 113 : (raw > 143 ? 143 : raw)));
        coeffs[i] = static_cast<int8_t>(raw - 128);
    }
    const uint8_t* stored = eeprom + kLinearizationOffset + kLinearizationCoeffs;
    if (sum == static_cast<uint16_t>(stored[0] | stored[1] << 8) && m_window)
        m_window->SetSpectrumLinearizationCoeffs(coeffs, kLinearizationCoeffs);
}

void CApcoPlugin::CheckReceiver() {
    if (IsClosing()) return;
    // A library without a presence call cannot say the receiver left: it counts as present.
    const bool present =
        !m_receiver.IsLoaded() || !m_receiver.HasPresenceCheck() || m_receiver.IsDeviceConnected(m_receiverHandle) != 0;
    if (present && !m_receiverPresent)
        ConnectReceiver();
    else if (!present && m_receiverPresent)
        m_receiver.SetAdvancedMode(m_receiverHandle, 0, nullptr);
    m_receiverPresent = present;
}

void VKT_STDCALL CApcoPlugin::IFStreamCallback(void* context, const int16_t* samples, uint32_t bytes, uint32_t rateHz) {
    if (!context) return;
    CallGuarded("IFStreamCallback",
                [&] { static_cast<CApcoPlugin*>(context)->LocalIFCallback(samples, bytes, rateHz); });
}

void CApcoPlugin::LocalIFCallback(const int16_t* samples, uint32_t bytes, uint32_t rateHz) {
    // Busy first, closing second; the destructor does the reverse, so one of the two always
    // sees the other.
    m_busy = true;
    if (m_closing) {
        m_busy = false;
        return;
    }
    struct ClearBusy {
        std::atomic<bool>& flag;
        ~ClearBusy() { flag = false; }
    } clear{m_busy};
    if (rateHz != 0) {
        m_streamRate = rateHz;
        uint32_t chainRate = 0;  // an IF file being played sets its own rate
        {
            CriticalSectionLock lock(&m_fileLock);
            if (m_playerState == kPlayerIdle)
                chainRate = rateHz;
            else if (m_playerState == kPlayerPlaying && !m_audioFile)
                chainRate = m_fileRate;
        }
        if (chainRate) SetIFSampleRate(chainRate);
    }
    const uint32_t count = bytes / 2;
    uint32_t skip = m_samplesToSkip.load();
    if (skip) {
        m_samplesToSkip = skip > count ? skip - count : 0;
        return;
    }
    ProcessData(samples, count);
}

void CApcoPlugin::SetIFSampleRate(uint32_t hz, bool force) {
    if (hz == 0 || (hz == m_currentIfRate && !force)) return;
    m_currentIfRate = hz;
    if (m_window) m_window->SetSampleRate(hz);
    m_c4fm.SetSampleRate(hz);
    m_ifResampler.SetRates(static_cast<float>(hz), static_cast<float>(kOutputRate), 2048);
    m_fm.SetSampleRate(hz);
    UpdateAudioFilter();
    if (m_noiseFilter) m_noiseFilter->SetSampleRate(static_cast<float>(hz));
}

void CApcoPlugin::UpdateAudioFilter() {
    if (!m_afFilter) return;
    m_afFilter->SetSampleRate(static_cast<float>(m_currentIfRate.load()));
    m_afFilter->SetTaps(m_afFilterLen);
    m_afFilter->SetWindow(7);
    m_afFilter->SetDeemphasis(m_afDeemphasis * 0.1f);
    if (m_afLowpass) {
        m_afFilter->SetType(kFilterLowPass);
        m_afFilter->SetFrequency(static_cast<float>(m_afFreqHigh));
    } else {
        m_afFilter->SetType(kFilterBandPass);
        m_afFilter->SetFrequency((m_afFreqLow + m_afFreqHigh) * 0.5f);
        m_afFilter->SetBandwidth(static_cast<float>(m_afFreqHigh - m_afFreqLow));
    }
    // The graph lives on the GUI thread; a rate change on the stream thread leaves its curve
    // until the next change made there.
    if (m_window && GetWindowThreadProcessId(m_window->GetHandle(), nullptr) == GetCurrentThreadId())
        m_window->UpdateAudioFilterParams(m_afFilter);
}

void CApcoPlugin::ReturnAudioBuffer(AudioBuffer* buffer) {
    if (!buffer) return;
    CriticalSectionLock lock(&m_poolLock);
    m_audioBufferPool.Insert(reinterpret_cast<ItemArray::Item>(buffer), 0xFFFFFFFFu);
}

bool CApcoPlugin::GetFreeAudioBuffer() {
    CriticalSectionLock lock(&m_poolLock);
    if (m_audioBufferPool.GetCount() == 0) return false;
    m_currentBuffer = reinterpret_cast<AudioBuffer*>(m_audioBufferPool.Remove(0));
    m_currentFill = 0;
    return m_currentBuffer != nullptr;
}

void CApcoPlugin::RequestClose() {
    m_closeRequested = true;
    m_closing = true;
    // The close waits for every modal loop of the instance (a box, the overwrite question,
    // a menu), and nobody may be there to answer them: they end now, as if cancelled, and no
    // new one starts (a message asked for from now on goes to the trace log).
    RefuseModalWindows();
    Component::EndModalLoopsOf(GetWindowHandle());
}

void CApcoPlugin::RefuseModalWindows() {
    if (m_window) m_window->RefuseModalLoops();
}

CApcoPlugin::~CApcoPlugin() {
    // The receiver check is the only timer road back into the object: cut it first.
    if (m_window) m_window->OnRcvCheckTimer.Unbind();
    m_closing = true;
    // Messages pumped while the player goes (a panel's pending error among them) open no box.
    RefuseModalWindows();
    m_scanSpectrum.Release();
    CallPluginProc(PM_SETFLAGS, 0, 0, nullptr);
    if (m_volumeRead) m_receiver.SetVolume(m_receiverHandle, m_savedVolume);
    m_receiver.SetupStreams(m_receiverHandle, nullptr, nullptr);
    // A block still under way may be waiting for the window: deliver what it sends.
    MSG msg;
    while (m_busy) {
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
        Sleep(0);
    }
    if (IsWow64()) Sleep(1002);
    m_receiver.SetAdvancedMode(m_receiverHandle, 0, nullptr);
    SaveSettings();
    delete m_player;
    m_player = nullptr;
    CloseLogFile();
    if (m_window) {
        m_window->SetPlugin(nullptr);
        delete m_window;
        m_window = nullptr;
    }
    ReleaseHandlerObjects();
    m_receiver.Unload();
    {
        CriticalSectionLock lock(&m_dequeCS);
        while (m_hostCalls.GetCount()) delete reinterpret_cast<HostCallRecord*>(m_hostCalls.Remove(0));
    }
    delete m_noiseFilter;
    delete m_afFilter;
    FreeHostRecord(m_hostRecord);
}
