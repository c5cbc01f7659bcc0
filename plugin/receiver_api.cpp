#include "plugin/receiver_api.h"

namespace {

template <typename Proc>
bool Take(HMODULE library, const char* name, Proc* proc) {
    if (!*proc) *proc = reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    return *proc != nullptr;
}

}  // namespace

bool ReceiverApi::Load() {
    if (!m_library) m_library = LoadLibraryA(kLibraryName);
    if (!m_library) return false;
    // Every entry point is taken even after a required one is missing.
    bool ok = Take(m_library, "SetAdvancedMode", &m_setAdvancedMode);
    ok = Take(m_library, "SetupStreams", &m_setupStreams) && ok;
    ok = Take(m_library, "K9GetEEP", &m_getEeprom) && ok;
    ok = Take(m_library, "SetAdvancedScanMode", &m_setAdvancedScanMode) && ok;
    Take(m_library, "GetVolume", &m_getVolume);
    Take(m_library, "SetVolume", &m_setVolume);
    Take(m_library, "IsDeviceConnected", &m_isDeviceConnected);
    return ok;
}

void ReceiverApi::Unload() {
    m_setAdvancedMode = nullptr;
    m_setupStreams = nullptr;
    m_getEeprom = nullptr;
    m_setAdvancedScanMode = nullptr;
    m_getVolume = nullptr;
    m_setVolume = nullptr;
    m_isDeviceConnected = nullptr;
    if (m_library) FreeLibrary(m_library);
    m_library = nullptr;
}

uint32_t ReceiverApi::SetAdvancedMode(uint32_t handle, uint32_t mode, const char* argument) {
    return m_setAdvancedMode ? m_setAdvancedMode(handle, mode, argument) : 0;
}

uint32_t ReceiverApi::SetupStreams(uint32_t handle, IFStreamCallback callback, void* context) {
    return m_setupStreams ? m_setupStreams(handle, callback, context, 0, 0) : 0;
}

uint32_t ReceiverApi::GetEeprom(uint32_t handle, uint8_t* buffer256) {
    return m_getEeprom ? m_getEeprom(handle, buffer256) : 0;
}

uint32_t ReceiverApi::SetAdvancedScanMode(uint32_t handle, uint32_t mode, const void* data, uint32_t size) {
    return m_setAdvancedScanMode ? m_setAdvancedScanMode(handle, mode, data, size) : 0;
}

uint32_t ReceiverApi::GetVolume(uint32_t handle) { return m_getVolume ? m_getVolume(handle) : 0; }

uint32_t ReceiverApi::SetVolume(uint32_t handle, uint32_t volume) {
    return m_setVolume ? m_setVolume(handle, volume) : 0;
}

uint32_t ReceiverApi::IsDeviceConnected(uint32_t handle) {
    return m_isDeviceConnected ? m_isDeviceConnected(handle) : 0;
}
