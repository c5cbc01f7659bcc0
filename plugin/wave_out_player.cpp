#include "plugin/wave_out_player.h"

#include <setupapi.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "foundation/trace.h"
#include "toolkit/application.h"
#include "toolkit/component.h"

namespace {

constexpr int kMaxBufferCount = 64;
constexpr char kVirtualCardPrefix[] = "Quorvane Virtual Sound Card";
constexpr char kVirtualCardInfix[] = "(Quorvane Virtual Sound";
const GUID kVirtualCardInterface = {0xB029D310, 0x284D, 0x4F05, {0x9A, 0xFF, 0xD9, 0x93, 0x70, 0x7A, 0xED, 0xC4}};
const char* const kVirtualCardPaths[2] = {"%s\\b029d310-284d-4f05-9aff-d993707aedc4",
                                          "%s\\0d13c528-a6fc-47f1-8fee-c5dd46f1fbb1"};

bool IsVirtualCardName(const char* name) {
    const size_t n = std::strlen(name);
    if (n == 0 || name[n - 1] == 'O') return false;
    if (std::strncmp(name, kVirtualCardPrefix, sizeof kVirtualCardPrefix - 1) == 0) return true;
    return n > 7 && std::strstr(name + 7, kVirtualCardInfix) != nullptr;
}

}  // namespace

// The hidden window to which the device reports; its messages arrive on the GUI thread.
class WaveOutNotifyWindow : public Component {
public:
    explicit WaveOutNotifyWindow(WaveOutPlayer* player)
        : Component("", WS_POPUP, 0, 0, 0, 1, 1, nullptr), m_player(player) {}

    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == MM_WOM_OPEN || msg == MM_WOM_CLOSE || msg == MM_WOM_DONE) {
            try {
                m_player->OnWaveOutDone(msg, reinterpret_cast<HWAVEOUT>(wParam), reinterpret_cast<WAVEHDR*>(lParam));
            } catch (...) {
                TraceLog("WaveOutNotifyWindow: device message %u failed", msg);
            }
        }
        return Component::WndProc(msg, wParam, lParam);
    }

private:
    WaveOutPlayer* m_player;
};

WaveOutPlayer::WaveOutPlayer(uint32_t sampleRateHz) : m_sampleRateHz(sampleRateHz) {
    m_window = new (std::nothrow) WaveOutNotifyWindow(this);
    ResizePreBuffer(m_bufferCount);
}

WaveOutPlayer::~WaveOutPlayer() { Teardown(); }

void WaveOutPlayer::Teardown() {
    Stop();
    GetApplication()->ProcessMessages();
    Close();
    GetApplication()->ProcessMessages();
    delete m_window;
    m_window = nullptr;
    CriticalSectionLock lock(&m_lock);
    ReturnPreBuffers();
    WAVEHDR** headers = m_freeHeaders.GetData();
    for (size_t i = 0; i < m_freeHeaders.GetCount(); ++i) delete headers[i];
    m_freeHeaders.SetCount(0);
    m_freeHeaders.Release();
    m_preBuffer.Release();
    CloseDriverInterfaces();
}

void WaveOutPlayer::GiveBack(AudioBuffer* buffer) {
    if (buffer && m_owner) m_owner->ReturnAudioBuffer(buffer);
}

void WaveOutPlayer::ReturnPreBuffers() {
    AudioBuffer** held = m_preBuffer.GetData();
    for (size_t i = 0; i < m_preBuffer.GetCount(); ++i) GiveBack(held[i]);
    m_preBuffer.SetCount(0);
}

bool WaveOutPlayer::ResizePreBuffer(int n) {
    ReturnPreBuffers();
    m_preBuffer.Release();
    return m_preBuffer.Reserve(static_cast<size_t>(n)) != nullptr;
}

bool WaveOutPlayer::SetBufferCount(int n) {
    CriticalSectionLock lock(&m_lock);
    if (m_playing || n < 1 || n > kMaxBufferCount) return false;
    if (!ResizePreBuffer(n))
        ResizePreBuffer(m_bufferCount);  // keep the old count usable
    else
        m_bufferCount = n;
    if (m_queueDepth <= m_bufferCount) m_queueDepth = m_bufferCount + 2;
    return m_bufferCount == n;
}

bool WaveOutPlayer::SetQueueDepth(int depth) {
    CriticalSectionLock lock(&m_lock);
    if (m_playing) return false;
    m_queueDepth = depth < m_bufferCount + 2 ? m_bufferCount + 2 : depth;
    return true;
}

bool WaveOutPlayer::SetSampleRate(uint32_t rateHz) {
    if (m_device || rateHz == 0 || rateHz > 0x3FFFFFFFu) return false;
    m_sampleRateHz = rateHz;
    return true;
}

bool WaveOutPlayer::SetDevice(UINT deviceId) {
    if (m_device) return false;
    m_deviceId = deviceId;
    return true;
}

void WaveOutPlayer::SetVolume(int volume) { m_volume = volume < 0 ? 0 : (volume > kMaxVolume ? kMaxVolume : volume); }

void WaveOutPlayer::SetPreBuffering() {
    CriticalSectionLock lock(&m_lock);
    m_preBuffering = true;
}

int WaveOutPlayer::GetQueuedCount() {
    CriticalSectionLock lock(&m_lock);
    return m_queued;
}

String WaveOutPlayer::GetDeviceCaps(UINT deviceIndex) {
    WAVEOUTCAPSA caps{};
    if (waveOutGetDevCapsA(deviceIndex, &caps, sizeof caps) != MMSYSERR_NOERROR) return String("");
    caps.szPname[sizeof caps.szPname - 1] = 0;
    return String(caps.szPname);
}

int WaveOutPlayer::Open() {
    CriticalSectionLock lock(&m_lock);
    if (m_device) return kAlreadyOpen;
    if (IsVirtualCardName(GetDeviceName(m_deviceId).CStr())) OpenDriverInterfaces();
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, m_sampleRateHz, m_sampleRateHz * 2, 2, 16, 0};
    HWAVEOUT device = nullptr;
    const HWND window = m_window ? m_window->GetHandle() : nullptr;
    MMRESULT result =
        window ? waveOutOpen(&device, m_deviceId, &format, reinterpret_cast<DWORD_PTR>(window), 0, CALLBACK_WINDOW)
               : MMSYSERR_NOMEM;
    if (result != MMSYSERR_NOERROR) {
        m_device = nullptr;
        // Held only while the device is open: Close, which would close them, needs a device.
        CloseDriverInterfaces();
        return static_cast<int>(result);
    }
    m_device = device;
    m_queued = 0;
    m_playing = true;
    m_preBuffering = true;
    return 0;
}

int WaveOutPlayer::Stop() {
    CriticalSectionLock lock(&m_lock);
    if (!m_playing) return kNotPlaying;
    if (!m_device) return kNoDevice;
    // Buffers held back for pre-buffering would otherwise stay out of the owner's pool until
    // the next start, and then play stale audio.
    ReturnPreBuffers();
    m_preBuffering = true;
    const MMRESULT result = waveOutReset(m_device);
    m_playing = false;
    return static_cast<int>(result);
}

int WaveOutPlayer::Close() {
    CriticalSectionLock lock(&m_lock);
    if (!m_device) return kNoDevice;
    const MMRESULT result = waveOutClose(m_device);
    if (result != MMSYSERR_NOERROR) return static_cast<int>(result);
    m_device = nullptr;
    m_playing = false;
    ReturnPreBuffers();
    CloseDriverInterfaces();
    return 0;
}

void WaveOutPlayer::ScaleSamples(int16_t* samples, size_t count, int volume, bool mute) {
    if (mute) {
        std::memset(samples, 0, count * sizeof *samples);
        return;
    }
    if (volume == kUnityVolume) return;
    for (size_t i = 0; i < count; ++i) {
        // Above unity the product leaves the 16-bit range: saturate instead of wrapping into
        // loud clicks of the opposite sign.
        int32_t v = (static_cast<int32_t>(samples[i]) * volume) >> 3;
        samples[i] = static_cast<int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
    }
}

void WaveOutPlayer::Write(AudioBuffer* buffer) {
    if (!buffer) return;
    if (!buffer->GetData() || buffer->GetCount() == 0) {
        GiveBack(buffer);
        return;
    }
    ScaleSamples(buffer->GetData(), buffer->GetCount(), m_volume, m_mute);
    CriticalSectionLock lock(&m_lock);
    if (!m_playing) {
        GiveBack(buffer);
        return;
    }
    if (m_preBuffering && m_preBuffer.GetData()) {
        AudioBuffer** held = m_preBuffer.GetData();
        size_t count = m_preBuffer.GetCount();
        held[count++] = buffer;
        m_preBuffer.SetCount(count);
        if (count < static_cast<size_t>(m_bufferCount)) return;
        m_preBuffering = false;
        m_preBuffer.SetCount(0);
        for (size_t i = 0; i < count; ++i) Submit(held[i]);
        return;
    }
    Submit(buffer);
}

void WaveOutPlayer::Submit(AudioBuffer* buffer) {
    if (!m_device || m_queued >= m_queueDepth) {
        GiveBack(buffer);
        return;
    }
    WAVEHDR* header = nullptr;
    size_t freeCount = m_freeHeaders.GetCount();
    if (freeCount) {
        header = m_freeHeaders.GetData()[--freeCount];
        m_freeHeaders.SetCount(freeCount);
    } else {
        header = new (std::nothrow) WAVEHDR;
    }
    if (!header) {
        GiveBack(buffer);
        return;
    }
    std::memset(header, 0, sizeof *header);
    header->lpData = reinterpret_cast<LPSTR>(buffer->GetData());
    header->dwBufferLength = static_cast<DWORD>(buffer->GetCount() * sizeof(int16_t));
    header->dwUser = reinterpret_cast<DWORD_PTR>(buffer);
    if (waveOutPrepareHeader(m_device, header, sizeof *header) == MMSYSERR_NOERROR) {
        if (waveOutWrite(m_device, header, sizeof *header) == MMSYSERR_NOERROR) {
            ++m_queued;
            return;
        }
        waveOutUnprepareHeader(m_device, header, sizeof *header);
    }
    GiveBack(buffer);
    // The header goes back to the free list; when the list cannot grow it is simply freed.
    if (m_freeHeaders.Grow(m_freeHeaders.GetCount() + 1)) {
        m_freeHeaders.GetData()[m_freeHeaders.GetCount()] = header;
        m_freeHeaders.SetCount(m_freeHeaders.GetCount() + 1);
    } else {
        delete header;
    }
}

void WaveOutPlayer::OnWaveOutDone(UINT msg, HWAVEOUT device, WAVEHDR* header) {
    CriticalSectionLock lock(&m_lock);
    if (msg == MM_WOM_CLOSE) {
        // A late report of an earlier device must not drop one opened since.
        if (device == m_device) m_device = nullptr;
        return;
    }
    if (msg != MM_WOM_DONE || !header) return;
    if (device == m_device && m_queued > 0) --m_queued;
    if (m_device && device == m_device)
        waveOutUnprepareHeader(m_device, header, sizeof *header);
    else
        header->dwFlags = 0;
    GiveBack(reinterpret_cast<AudioBuffer*>(header->dwUser));
    header->dwUser = 0;
    const size_t count = m_freeHeaders.GetCount();
    size_t capacity = m_freeHeaders.Capacity();
    if (count >= capacity && !m_freeHeaders.Grow(capacity ? 2 * capacity : 8)) {
        delete header;
        return;
    }
    m_freeHeaders.GetData()[count] = header;
    m_freeHeaders.SetCount(count + 1);
}

String WaveOutPlayer::GetDeviceName(UINT deviceId) { return GetDeviceCaps(deviceId); }

bool WaveOutPlayer::FindVirtualCardInterface(String* devicePath) {
    HDEVINFO list =
        SetupDiGetClassDevsA(&kVirtualCardInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (list == INVALID_HANDLE_VALUE) return false;
    bool found = false;
    SP_DEVICE_INTERFACE_DATA item{};
    item.cbSize = sizeof item;
    if (SetupDiEnumDeviceInterfaces(list, nullptr, &kVirtualCardInterface, 0, &item)) {
        DWORD needed = 0;
        SetupDiGetDeviceInterfaceDetailA(list, &item, nullptr, 0, &needed, nullptr);
        ScratchBuffer<unsigned char> storage;
        if (needed >= sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) && storage.Reserve(needed)) {
            auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.GetData());
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
            if (SetupDiGetDeviceInterfaceDetailA(list, &item, detail, needed, nullptr, nullptr)) {
                *devicePath = detail->DevicePath;
                found = true;
            }
        }
    }
    SetupDiDestroyDeviceInfoList(list);
    return found;
}

void WaveOutPlayer::OpenDriverInterfaces() {
    if (m_driverHandles[0] != INVALID_HANDLE_VALUE) return;
    String devicePath("");
    if (!FindVirtualCardInterface(&devicePath)) return;
    for (int i = 0; i < 2; ++i) {
        char path[1024];
        std::snprintf(path, sizeof path, kVirtualCardPaths[i], devicePath.CStr());
        m_driverHandles[i] = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }
}

void WaveOutPlayer::CloseDriverInterfaces() {
    for (HANDLE& h : m_driverHandles) {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        h = INVALID_HANDLE_VALUE;
    }
}
