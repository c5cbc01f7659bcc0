// Plays the plug-in's audio on a wave-out device: 16-bit mono PCM at the set rate.
//
// The owner fills int16 buffers and hands each full one to Write (stream thread). The player
// scales it by the volume, holds the first N buffers after each start (pre-buffering) so that
// the device does not starve at once, queues at most the queue depth on the device and gives
// every buffer back through IAudioBufferOwner::ReturnAudioBuffer: when the device has played
// it, and at once when it is refused (not playing, empty, queue full, no header, device
// error). Stop also gives back the buffers held for pre-buffering. The device reports played
// buffers as window messages to a hidden toolkit window on the GUI thread, so the owner gets
// played buffers back on the GUI thread.
//
// With the Quorvane Virtual Sound Card as the device, two of its driver's interfaces are held
// open (unshared) exactly while the device is open: a failed Open closes them again.
//
// Locking: one lock guards the device handle, the free headers, the queued count and the
// pre-buffer array. ReturnAudioBuffer may be called with that lock held: it must not call
// back into the player.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>

#include "foundation/critical_section.h"
#include "foundation/scratch_buffer.h"
#include "foundation/string.h"

using AudioBuffer = ScratchBuffer<int16_t>;  // GetCount() samples are played

class IAudioBufferOwner {
public:
    virtual void ReturnAudioBuffer(AudioBuffer* buffer) = 0;

protected:
    ~IAudioBufferOwner() = default;
};

class WaveOutNotifyWindow;

class WaveOutPlayer {
public:
    static constexpr int kUnityVolume = 8;
    static constexpr int kMaxVolume = 32;
    // Results besides the device's own MMRESULT codes.
    static constexpr int kAlreadyOpen = 4;
    static constexpr int kNotPlaying = 100;
    static constexpr int kNoDevice = 102;

    explicit WaveOutPlayer(uint32_t sampleRateHz);
    virtual ~WaveOutPlayer();  // Teardown
    WaveOutPlayer(const WaveOutPlayer&) = delete;
    WaveOutPlayer& operator=(const WaveOutPlayer&) = delete;

    // 0 on success (playing and pre-buffering), kAlreadyOpen, or the device's error.
    int Open();
    // kNotPlaying, kNoDevice, or the device's reset result; the device then reports every
    // queued buffer as played. Held pre-buffers go back to the owner at once.
    int Stop();
    // kNoDevice, the device's error (buffers still queued), or 0.
    int Close();
    // Stop, deliver the device's reports, close, deliver again, then free everything; held
    // buffers go back to the owner.
    void Teardown();

    void Write(AudioBuffer* buffer);
    // The device's MM_WOM_OPEN, MM_WOM_CLOSE and MM_WOM_DONE (from the hidden window).
    void OnWaveOutDone(UINT msg, HWAVEOUT device, WAVEHDR* header);

    // While not playing only: N buffers gathered before playing, 1..64 (false otherwise).
    bool SetBufferCount(int n);
    // While not playing only: the most buffers queued on the device, at least N + 2.
    bool SetQueueDepth(int depth);
    int GetBufferCount() const { return m_bufferCount; }
    int GetQueueDepth() const { return m_queueDepth; }
    bool SetSampleRate(uint32_t rateHz);  // while closed, 1..0x3FFFFFFF
    uint32_t GetSampleRate() const { return m_sampleRateHz; }
    bool SetDevice(UINT deviceId);  // while closed
    UINT GetDevice() const { return m_deviceId; }
    void SetVolume(int volume);  // clamped to 0..32; 8 is unity
    int GetVolume() const { return m_volume; }
    void SetMute(bool mute) { m_mute = mute; }
    bool IsMuted() const { return m_mute; }
    void SetPreBuffering();  // gather N buffers again before writing
    void SetOwner(IAudioBufferOwner* owner) { m_owner = owner; }
    bool IsOpen() const { return m_device != nullptr; }
    bool IsPlaying() const { return m_playing; }
    int GetQueuedCount();
    // The name of wave-out device index; empty when the query fails.
    static String GetDeviceCaps(UINT deviceIndex);

    // Samples scaled by volume / 8 with saturation; mute zeroes them.
    static void ScaleSamples(int16_t* samples, size_t count, int volume, bool mute);

protected:
    // The system's side, replaceable by tests: the name of a device (GetDeviceCaps), and the
    // device path of the Quorvane Virtual Sound Card's driver interface (false without one).
    virtual String GetDeviceName(UINT deviceId);
    virtual bool FindVirtualCardInterface(String* devicePath);

private:
    void GiveBack(AudioBuffer* buffer);
    void Submit(AudioBuffer* buffer);
    void ReturnPreBuffers();
    bool ResizePreBuffer(int n);
    void OpenDriverInterfaces();
    void CloseDriverInterfaces();

    CriticalSection m_lock;
    int m_bufferCount = 2;
    int m_queueDepth = 6;
    bool m_playing = false;
    uint32_t m_sampleRateHz;
    UINT m_deviceId = 0;
    HWAVEOUT m_device = nullptr;
    bool m_preBuffering = false;
    ScratchBuffer<AudioBuffer*> m_preBuffer;  // count: buffers held
    ScratchBuffer<WAVEHDR*> m_freeHeaders;    // count: headers free
    int m_queued = 0;
    int m_volume = kUnityVolume;
    bool m_mute = false;
    IAudioBufferOwner* m_owner = nullptr;
    WaveOutNotifyWindow* m_window = nullptr;
    HANDLE m_driverHandles[2] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};
};
