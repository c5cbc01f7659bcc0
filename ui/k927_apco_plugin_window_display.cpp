// The decoded-field display and the status LEDs of the main window.
//
// Flicker damping: the bit-error rate is redrawn at most every 250 ms, the signal state
// changes at most every 500 ms, and the transmission type and the algorithm identifier change
// only after differing from the shown value in several consecutive records.
#include <windows.h>
#include <mmsystem.h>

#include <cstdio>
#include <initializer_list>
#include <cstring>

#include "plugin/host_protocol.h"
#include "toolkit/button.h"
#include "toolkit/int_edit.h"
#include "ui/k927_apco_plugin_window.h"
#include "ui/shared_looks.h"

namespace {

constexpr COLORREF kLedLit = look::kGreen;
constexpr COLORREF kLedDark = look::kLedDark;
constexpr COLORREF kLedEncrypted = look::kYellow;
constexpr COLORREF kEmergencyLit = 0x0000FF;
constexpr COLORREF kEmergencyDark = 0x000040;

constexpr uint32_t kErrorRateRedrawMs = 250;
constexpr uint32_t kSignalStateHoldMs = 499;  // a change needs more than this since the last
constexpr int32_t kTransmissionSteadyCount = 10;
constexpr int32_t kTransmissionChangedCount = 5;
constexpr int32_t kEncryptionSteadyCount = 3;
constexpr int32_t kAlgidUnencrypted = 0x80;
constexpr int32_t kTransmissionVoice = 4;

// The "not decoded" texts; the SID and DID fields use the six dashes they are built with.
constexpr const char* kNoNAC = "---";
constexpr const char* kNoTGID = "----";
constexpr const char* kNoUnitID = "------";
constexpr const char* kNoValue = "--";

struct ManufacturerName {
    int32_t id;
    const char* name;
};

constexpr ManufacturerName kManufacturers[] = {
    {0x00, "none"},
    {0x10, "Relm/BK Radio"},
    {0x20, "Cycomm"},
    {0x28, "Efratom Time and Frequency Products, Inc"},
    {0x30, "Ericsson"},
    {0x48, "Garmin"},
    {0x50, "GTE"},
    {0x55, "IFR Systems"},
    {0x60, "GEC-Marconi"},
    {0x70, "Glenayre Electronics"},
    {0x74, "Japan Radio Co."},
    {0x78, "Kokusai"},
    {0x7C, "Maxon"},
    {0x80, "Midland"},
    {0x86, "Daniels Electronics"},
    {0x90, "Motorola"},
    {0xA0, "Racal"},
    {0xA4, "AMP"},
    {0xB0, "Raytheon"},
    {0xC0, "SEA"},
    {0xC8, "Securicor"},
    {0xD0, "ADI"},
    {0xE0, "Teletec"},
    {0xF0, "Transcrypt International"},
};

struct AlgorithmName {
    int id;
    const char* name;
};

constexpr AlgorithmName kAlgorithms[] = {
    {0x00, "Accordion 1.3"},
    {0x01, "Baton (auto even)"},
    {0x02, "Firefly"},
    {0x03, "Mayfly"},
    {0x04, "Saville"},
    {0x41, "Baton (auto odd)"},
    {0x80, "Unencrypted"},
    {0x81, "DES"},
    {0x83, "Triple DES, 168 bit key"},
    {0x84, "AES"},
    {0xA0, "DVI-XL"},
    {0xA1, "DVP-XL"},
};

void EnableAll(std::initializer_list<Component*> controls, bool on) {
    for (Component* c : controls)
        if (c) c->Enable(on);
}

}  // namespace

void CK927ApcoPluginWindow::InitEncryptionNames() {
    std::memset(m_EncryptionNameTable, 0, sizeof m_EncryptionNameTable);
    for (auto& row : m_EncryptionNameTable) std::snprintf(row, sizeof row, "%s", "Unknown");
    for (const AlgorithmName& a : kAlgorithms)
        std::snprintf(m_EncryptionNameTable[a.id], sizeof m_EncryptionNameTable[a.id], "%s", a.name);
}

const char* CK927ApcoPluginWindow::GetEncryptionName(uint32_t algid) const {
    return algid < 256 ? m_EncryptionNameTable[algid] : "";
}

const char* CK927ApcoPluginWindow::GetManufacturer(int32_t mfid) {
    for (const ManufacturerName& m : kManufacturers)
        if (m.id == mfid) return m.name;
    return nullptr;
}

void CK927ApcoPluginWindow::SetFieldText(Label* field, const char* text) {
    if (field) field->SetCaption(text ? text : "", false);
}

void CK927ApcoPluginWindow::SetLedColour(Panel* led, COLORREF colour) {
    if (!led) return;
    led->SetFaceColor(colour);
    led->Invalidate();
}

Panel* CK927ApcoPluginWindow::TransmissionLed(int32_t type) const {
    switch (type) {
    case 1: return m_pPanelUnknownLed;
    case 2: return m_pPanelTrunkingLed;
    case 3: return m_pPanelDataLed;
    case 4: return m_pPanelVoiceLed;
    default: return nullptr;
    }
}

bool CK927ApcoPluginWindow::IsEncrypted() const {
    return m_iAlgid >= 0 && m_iAlgid <= 255 && m_iAlgid != kAlgidUnencrypted;
}

void CK927ApcoPluginWindow::UpdateApcoParams(const ApcoParams* params) {
    if (!params) return;
    // One copy before any field is read: the sender's record is never read twice.
    ApcoParams p;
    std::memcpy(&p, params, sizeof p);
    m_bApcoParamsChanged = false;
    SetApcoErrorRate(p.bitErrorRatePercent);
    SetNAC(p.nac);
    SetTGUID(p.tgid);
    SetSourceID(p.sourceId);
    SetDestID(p.destinationId);
    SetTransmissionType(p.transmissionType);
    SetEncryptionType(p.algorithmId);
    SetManufacturerID(p.manufacturerId);
    SetEmergency(p.emergency);
    if (m_bApcoParamsChanged) OnApcoParamsChange.Invoke(this);
}

void CK927ApcoPluginWindow::SetApcoErrorRate(float percent) {
    const uint32_t now = timeGetTime();
    if (now - m_dwErrorRateTime < kErrorRateRedrawMs || percent == m_fErrorRate) return;
    m_fErrorRate = percent;
    char text[48];
    std::snprintf(text, sizeof text, "%.01f %%", static_cast<double>(percent));
    SetFieldText(m_pFieldBER, text);
    m_dwErrorRateTime = now;
}

void CK927ApcoPluginWindow::PutDecodedCode(uint32_t listBit, int32_t value) {
    Button* buttons[4] = {m_pButtonSqNAC, m_pButtonSqTGID, m_pButtonSqSID, m_pButtonSqDID};
    const int index = listBit == kSquelchNAC ? 0 : listBit == kSquelchTGID ? 1 : listBit == kSquelchSID ? 2 : 3;
    if (value != -1 && m_pEditSqVal && buttons[index] && buttons[index]->IsDown()) m_pEditSqVal->SetValue(value);
}

// The shared rule of the four identifier setters; true when the shown value changed.
bool CK927ApcoPluginWindow::UpdateIdentifier(int32_t* cache, int32_t value, uint32_t mask, Label* field,
                                             const char* noneText) {
    if (value != -1) value = static_cast<int32_t>(static_cast<uint32_t>(value) & mask);
    if (value == *cache) return false;
    *cache = value;
    char text[16];
    if (value == -1)
        std::snprintf(text, sizeof text, "%s", noneText);
    else
        std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(value));
    SetFieldText(field, text);
    m_bApcoParamsChanged = true;
    return true;
}

void CK927ApcoPluginWindow::SetNAC(int32_t nac) {
    if (!UpdateIdentifier(&m_iNAC, nac, 0xFFF, m_pFieldNAC, kNoNAC)) return;
    PutDecodedCode(kSquelchNAC, m_iNAC);
}

void CK927ApcoPluginWindow::SetTGUID(int32_t tgid) {
    if (!UpdateIdentifier(&m_iTGID, tgid, 0xFFFF, m_pFieldTGID, kNoTGID)) return;
    PutDecodedCode(kSquelchTGID, m_iTGID);
}

void CK927ApcoPluginWindow::SetSourceID(int32_t sid) {
    if (!UpdateIdentifier(&m_iSourceID, sid, 0xFFFFFF, m_pFieldSID, kNoUnitID)) return;
    PutDecodedCode(kSquelchSID, m_iSourceID);
}

void CK927ApcoPluginWindow::SetDestID(int32_t did) {
    if (!UpdateIdentifier(&m_iDestID, did, 0xFFFFFF, m_pFieldDID, kNoUnitID)) return;
    PutDecodedCode(kSquelchDID, m_iDestID);
}

void CK927ApcoPluginWindow::SetTransmissionType(int32_t type) {
    if (m_dwCurDemod != kSignalP25) return;
    if (type == m_iTransmissionType) {
        m_iTransmissionCountdown = kTransmissionSteadyCount;
        return;
    }
    --m_iTransmissionCountdown;
    // Types 0 and 1 (nothing, or an unidentified unit) give way at once.
    if (m_iTransmissionCountdown >= 1 && m_iTransmissionType >= 2) return;
    m_iTransmissionCountdown = kTransmissionChangedCount;
    SetLedColour(TransmissionLed(m_iTransmissionType), kLedDark);
    m_iTransmissionType = type;
    SetLedColour(TransmissionLed(type), IsEncrypted() ? kLedEncrypted : kLedLit);
    EnableEncryptionIndication(type == kTransmissionVoice);
}

void CK927ApcoPluginWindow::SetEncryptionType(int32_t algid) {
    if (m_dwCurDemod != kSignalP25) return;
    if (algid == m_iAlgid) {
        m_iEncryptionCountdown = kEncryptionSteadyCount;
        return;
    }
    --m_iEncryptionCountdown;
    // "Not decoded" is not damped: the decoder reports it only as a new call starts, and the
    // last call's algorithm must not stand for this one's meanwhile.
    if ((m_iEncryptionCountdown >= 1 && algid != -1) || !m_bEncryptionIndication) return;
    m_iAlgid = algid;
    if (algid < 0 || algid > 255) {
        SetFieldText(m_pFieldAlgid, kNoValue);
        SetFieldText(m_pLabelAlgName, "");
    } else {
        char text[16];
        std::snprintf(text, sizeof text, "%d", static_cast<int>(algid));
        SetFieldText(m_pFieldAlgid, text);
        SetFieldText(m_pLabelAlgName, m_EncryptionNameTable[algid]);
    }
    SetLedColour(TransmissionLed(m_iTransmissionType), IsEncrypted() ? kLedEncrypted : kLedLit);
}

void CK927ApcoPluginWindow::EnableEncryptionIndication(bool on) {
    if (on == m_bEncryptionIndication) return;
    m_bEncryptionIndication = on;
    EnableAll({m_pLabelEncryption, m_pFieldAlgid, m_pLabelAlgName}, on);
}

void CK927ApcoPluginWindow::SetManufacturerID(int32_t mfid) {
    if (mfid == m_iMfid) return;
    m_iMfid = mfid;
    char text[16];
    if (mfid == -1)
        std::snprintf(text, sizeof text, "%s", kNoValue);
    else
        std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(mfid));
    SetFieldText(m_pFieldMfid, text);
    SetFieldText(m_pLabelMfName, GetManufacturer(mfid));
}

void CK927ApcoPluginWindow::SetEmergency(int32_t flag) {
    if (flag == m_iEmergency) return;
    m_iEmergency = flag;
    SetLedColour(m_pPanelEmergencyLed, flag ? kEmergencyLit : kEmergencyDark);
}

void CK927ApcoPluginWindow::SetCurDemod(uint32_t state) {
    if (state == m_dwCurDemod) return;
    const uint32_t now = timeGetTime();
    // A change sooner than this is dropped, not deferred.
    if (now - m_dwCurDemodTime <= kSignalStateHoldMs) return;
    m_dwCurDemodTime = now;
    m_dwCurDemod = state;
    if (state == kSignalNone) {
        SetLedColour(m_pPanelApcoLed, kLedDark);
        SetLedColour(m_pPanelFMLed, kLedDark);
    } else if (state == kSignalP25) {
        SetLedColour(m_pPanelApcoLed, kLedLit);
        SetLedColour(m_pPanelFMLed, kLedDark);
    } else if (state == kSignalFM) {
        SetLedColour(m_pPanelApcoLed, kLedDark);
        SetLedColour(m_pPanelFMLed, kLedLit);
    }
    if (state != kSignalP25) ResetApcoControls();
    EnableApcoControls(state == kSignalP25);
    OnApcoParamsChange.Invoke(this);
    ReportReceiverMode(m_dwDemodMode == kDemodAuto);
}

void CK927ApcoPluginWindow::ReportReceiverMode(bool autoMode) {
    // In Auto the host learns both modes the plug-in can take.
    uint32_t both[2] = {2, 19};
    CallHost(PM_MODE, m_dwCurDemod == kSignalP25 ? 19 : 2, autoMode ? sizeof both : 0, autoMode ? both : nullptr, 0);
}

void CK927ApcoPluginWindow::ResetApcoControls() {
    for (int32_t type = 1; type <= 4; ++type) SetLedColour(TransmissionLed(type), kLedDark);
    SetFieldText(m_pFieldAlgid, kNoValue);
    SetFieldText(m_pLabelAlgName, "");
    SetFieldText(m_pFieldNAC, kNoNAC);
    SetFieldText(m_pFieldTGID, kNoTGID);
    SetFieldText(m_pFieldSID, kNoUnitID);
    SetFieldText(m_pFieldDID, kNoUnitID);
    SetFieldText(m_pFieldBER, "0.0 %");
    SetFieldText(m_pFieldMfid, kNoValue);
    SetFieldText(m_pLabelMfName, "");
    m_iTransmissionType = 0;
    m_iTransmissionCountdown = 0;
    m_iEncryptionCountdown = 0;
    m_iAlgid = -1;
    m_iNAC = m_iTGID = m_iSourceID = m_iDestID = m_iMfid = -1;
    m_iEmergency = 0;
    // The cache follows the text just drawn, so the next call's rate is drawn even when it
    // equals the last call's.
    m_fErrorRate = 0.0f;
}

void CK927ApcoPluginWindow::EnableApcoControls(bool on) {
    m_bApcoControlsEnabled = on;
    EnableAll({m_pLabelBER, m_pFieldBER, m_pLabelTransmission, m_pLabelVoice, m_pLabelData, m_pLabelTrunking,
               m_pLabelUnknown},
              on);
    if (!on)
        for (int32_t type = 1; type <= 4; ++type) SetLedColour(TransmissionLed(type), kLedDark);
    EnableAll({m_pLabelEncryption, m_pFieldAlgid, m_pLabelAlgName}, on && m_bEncryptionIndication);
    EnableAll({m_pLabelNAC, m_pFieldNAC, m_pLabelTGID, m_pFieldTGID, m_pLabelSID, m_pFieldSID, m_pLabelDID, m_pFieldDID,
               m_pLabelManufacturer, m_pFieldMfid, m_pLabelMfName, m_pLabelEmergency},
              on);
    if (!on) SetLedColour(m_pPanelEmergencyLed, kEmergencyDark);
}

bool CK927ApcoPluginWindow::GetApcoParams(ApcoParams* params) const {
    if (!params) return false;
    std::memset(params, 0, sizeof *params);
    params->nac = m_iNAC;
    params->tgid = m_iTGID;
    params->sourceId = m_iSourceID;
    params->destinationId = m_iDestID;
    return true;
}
