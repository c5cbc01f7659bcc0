// The receiver's programming library QVK927API.dll, bound at run time: the seven entry points
// the plug-in uses, each taken by name. Every call passes the receiver handle first; a wrapper
// whose entry point is missing returns 0.
#pragma once

#include <windows.h>

#include <cstdint>

#include "plugin/vkt_interfaces.h"

class ReceiverApi {
public:
    static constexpr char kLibraryName[] = "QVK927API.dll";
    static constexpr uint32_t kEepromBytes = 256;

    ReceiverApi() = default;
    ~ReceiverApi() { Unload(); }
    ReceiverApi(const ReceiverApi&) = delete;
    ReceiverApi& operator=(const ReceiverApi&) = delete;

    // Loads the library when not yet loaded and takes every entry point not yet taken. True
    // when the library and the four required entry points are there (the optional volume and
    // presence calls may be missing).
    bool Load();
    // Forgets the entry points and frees the library.
    void Unload();
    bool IsLoaded() const { return m_library != nullptr; }
    bool HasPresenceCheck() const { return m_isDeviceConnected != nullptr; }
    bool HasEeprom() const { return m_getEeprom != nullptr; }
    bool HasVolume() const { return m_getVolume != nullptr; }

    uint32_t SetAdvancedMode(uint32_t handle, uint32_t mode, const char* argument);
    uint32_t SetupStreams(uint32_t handle, IFStreamCallback callback, void* context);
    uint32_t GetEeprom(uint32_t handle, uint8_t* buffer256);
    uint32_t SetAdvancedScanMode(uint32_t handle, uint32_t mode, const void* data, uint32_t size);
    uint32_t GetVolume(uint32_t handle);
    uint32_t SetVolume(uint32_t handle, uint32_t volume);
    uint32_t IsDeviceConnected(uint32_t handle);

private:
    HMODULE m_library = nullptr;
    SetAdvancedModeFn m_setAdvancedMode = nullptr;
    SetupStreamsFn m_setupStreams = nullptr;
    K9GetEEPFn m_getEeprom = nullptr;
    SetAdvancedScanModeFn m_setAdvancedScanMode = nullptr;
    GetVolumeFn m_getVolume = nullptr;
    SetVolumeFn m_setVolume = nullptr;
    IsDeviceConnectedFn m_isDeviceConnected = nullptr;
};
