// The decoded-field display: formats, names from the tables, the damped transmission and
// encryption displays, the LEDs (colours read back from their painting) and the time rules.
#include <gtest/gtest.h>

#include <cstring>

#include "main_window_fixture.h"
#include "plugin/host_protocol.h"

namespace {

constexpr COLORREF kLit = 0x00FF00, kDark = 0x004000, kYellow = 0x00FFFF;
enum Led { kApco, kFM, kVoice, kData, kTrunking, kUnknown, kEmergency };

ApcoParams Record(int32_t type, int32_t algid = 0x80, int32_t nac = 0x293, int32_t mfid = 0x90, int32_t emergency = 0,
                  float ber = 0.0f) {
    return ApcoParams{ber, nac, 100, 200, 300, type, algid, mfid, emergency};
}

void Feed(MainWindow& m, const ApcoParams& p, int times = 1) {
    for (int i = 0; i < times; ++i) m.Send(WM_APCO_MEDIA, reinterpret_cast<WPARAM>(&p), sizeof p);
}

void WaitMs(DWORD ms) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) window_probe::Pump(), Sleep(5);
}

}  // namespace

TEST(DecodedDisplay, IdentifierFormatsAndManufacturerNames) {
    MainWindow m;
    const struct {
        ApcoParams p;
        const char *nac, *tgid, *sid, *did, *mfid, *mfName;
    } rows[] = {
        {{0, 0x1293, 0x12345, 0x1FFFFFF, 0, 0, -1, 0, 0}, "659", "9029", "16777215", "0", "0", "none"},
        {{0, -1, -1, -1, -1, 0, -1, -1, 0}, "---", "----", "------", "------", "--", ""},
        {{0, 1, 2, 3, 4, 0, -1, 0x42, 1}, "1", "2", "3", "4", "66", ""},
        {{0, 1, 2, 3, 4, 0, -1, 0x28, 0}, "1", "2", "3", "4", "40", "Efratom Time and Frequency Products, Inc"},
    };
    for (const auto& r : rows) {
        Feed(m, r.p);
        EXPECT_EQ(m.Led(kEmergency), r.p.emergency ? 0x0000FFu : 0x000040u);
        EXPECT_EQ(m.Field(1), r.nac);
        EXPECT_EQ(m.Field(2), r.tgid);
        EXPECT_EQ(m.Field(3), r.sid);
        EXPECT_EQ(m.Field(4), r.did);
        EXPECT_EQ(m.Field(6), r.mfid);
        EXPECT_EQ(m.Name(1), r.mfName);
    }
    // The call log reads the shown identifiers back; the other words stay 0.
    ApcoParams shown;
    std::memset(&shown, 0xAB, sizeof shown);
    ASSERT_TRUE(m.w->GetApcoParams(&shown));
    EXPECT_EQ(shown.destinationId, 4);
    EXPECT_EQ(shown.algorithmId, 0);
    // Only the identifiers count as a change of the shown fields.
    m.events.lines.clear();
    Feed(m, {5.0f, 1, 2, 3, 4, 0, -1, 7, 1});
    EXPECT_EQ(m.events.Count("params"), 0);
    Feed(m, {5.0f, 9, 2, 3, 4, 0, -1, 7, 1});
    EXPECT_EQ(m.events.Count("params"), 1);
}

TEST(DecodedDisplay, TransmissionTypeIsDampedAndLightsItsLed) {
    MainWindow m;
    Feed(m, Record(2));
    EXPECT_EQ(m.Led(kTrunking), kDark) << "ignored while no P25 signal";
    m.Send(WM_APCO_STATUS, 1, 0);
    // A change away from a shown type 0 or 1 is immediate; a steady type 2 then needs ten
    // differing records, and the way back five.
    const struct {
        int32_t type;
        int times;
        Led lit;
    } steps[] = {{1, 1, kUnknown}, {2, 1, kTrunking}, {2, 3, kTrunking}, {4, 9, kTrunking},
                 {4, 1, kVoice},   {2, 4, kVoice},    {2, 1, kTrunking}, {3, 10, kData}};
    for (const auto& s : steps) {
        Feed(m, Record(s.type, -1), s.times);
        for (Led led : {kVoice, kData, kTrunking, kUnknown})
            EXPECT_EQ(m.Led(led), led == s.lit ? kLit : kDark)
                << "type " << s.type << " x" << s.times << " led " << led;
    }
    Feed(m, Record(5), 10);
    for (Led led : {kVoice, kData, kTrunking, kUnknown}) EXPECT_EQ(m.Led(led), kDark) << "terminator lights none";
}

TEST(DecodedDisplay, EncryptionNamesAndYellowVoice) {
    MainWindow m;
    m.Send(WM_APCO_STATUS, 1, 0);
    EXPECT_FALSE(m.LabelNamed("Encryption")->IsEnabled());
    Feed(m, Record(4, 0x80));
    EXPECT_EQ(m.Field(5), "128");
    EXPECT_EQ(m.Name(0), "Unencrypted");
    EXPECT_EQ(m.Led(kVoice), kLit);
    EXPECT_TRUE(m.LabelNamed("Encryption")->IsEnabled());
    // Once shown steadily (an equal record), a different ALGID shows with the third differing
    // record.
    Feed(m, Record(4, 0x80));
    Feed(m, Record(4, 0x84), 2);
    EXPECT_EQ(m.Field(5), "128");
    Feed(m, Record(4, 0x84));
    EXPECT_EQ(m.Field(5), "132");
    EXPECT_EQ(m.Name(0), "AES");
    EXPECT_EQ(m.Led(kVoice), kYellow);
    // Right after a change the next differing value shows at once.
    Feed(m, Record(4, 300));
    EXPECT_EQ(m.Field(5), "--");
    EXPECT_EQ(m.Name(0), "");
    EXPECT_EQ(m.Led(kVoice), kLit);
    // A new call whose algorithm is not yet decoded: the last call's is not shown for it, not
    // even for one record; its own then shows with the third record, as any change.
    Feed(m, Record(4, 0x84), 3);
    Feed(m, Record(4, 0x84));
    EXPECT_EQ(m.Field(5), "132");
    Feed(m, Record(4, -1));
    EXPECT_EQ(m.Field(5), "--");
    EXPECT_EQ(m.Name(0), "");
    EXPECT_EQ(m.Led(kVoice), kLit);
    Feed(m, Record(4, -1));
    Feed(m, Record(4, 0x81), 2);
    EXPECT_EQ(m.Field(5), "--");
    Feed(m, Record(4, 0x81));
    EXPECT_EQ(m.Field(5), "129");
    EXPECT_EQ(m.Led(kVoice), kYellow);
    EXPECT_STREQ(m.w->GetEncryptionName(0x83), "Triple DES, 168 bit key");
    EXPECT_STREQ(m.w->GetEncryptionName(0x05), "Unknown");
}

TEST(DecodedDisplay, ErrorRateRedrawsAtMostEvery250MsAndAfterAReset) {
    MainWindow m;
    m.Send(WM_APCO_STATUS, 1, 0);
    Feed(m, Record(4, 0x80, 1, 0, 0, 1.24f));
    Feed(m, Record(4, 0x80, 1, 0, 0, 1.26f));
    EXPECT_EQ(m.Field(0), "1.2 %");
    WaitMs(260);
    Feed(m, Record(4, 0x80, 1, 0, 0, 1.26f));
    EXPECT_EQ(m.Field(0), "1.3 %");
    // The signal is lost and comes back; the new call has the old call's rate and is drawn.
    WaitMs(510);
    m.Send(WM_APCO_STATUS, 0, 0);
    EXPECT_EQ(m.Field(0), "0.0 %");
    WaitMs(510);
    m.Send(WM_APCO_STATUS, 1, 0);
    Feed(m, Record(4, 0x80, 1, 0, 0, 1.26f));
    EXPECT_EQ(m.Field(0), "1.3 %");
}

TEST(DecodedDisplay, SignalStateHoldsHalfASecondAndReportsTheMode) {
    MainWindow m;
    m.Send(WM_APCO_STATUS, 1, 0);
    ASSERT_EQ(m.host.calls.size(), 1u);
    const window_probe::HostCall& auto19 = m.host.calls[0];
    EXPECT_EQ(auto19.msg, PM_MODE);
    EXPECT_EQ(auto19.dwParam, 19u);
    ASSERT_EQ(auto19.data.size(), 8u);
    uint32_t both[2];
    std::memcpy(both, auto19.data.data(), 8);
    EXPECT_EQ(both[0], 2u);
    EXPECT_EQ(both[1], 19u);
    EXPECT_EQ(m.Led(kApco), kLit);
    Feed(m, Record(4));
    m.Send(WM_APCO_STATUS, 2, 0);  // within 500 ms: dropped
    EXPECT_EQ(m.Led(kFM), kDark);
    EXPECT_EQ(m.w->GetCurDemod(), 1u);
    EXPECT_EQ(m.Field(1), "659");
    WaitMs(510);
    m.Send(WM_APCO_STATUS, 2, 0);
    EXPECT_EQ(m.Led(kFM), kLit);
    EXPECT_EQ(m.Led(kApco), kDark);
    EXPECT_EQ(m.Field(1), "---");
    EXPECT_FALSE(m.LabelNamed("NAC")->IsEnabled());
    EXPECT_EQ(m.host.calls.back().dwParam, 2u);
    EXPECT_EQ(m.events.Count("params"), 3);  // the record and both state changes
}
