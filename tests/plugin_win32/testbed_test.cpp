// The stand-ins' own check: the host drives a small test plug-in and records its calls; the
// receiver streams a WAV file in the configured blocks on its own thread and keeps the unhook
// rule while the callback is blocked in SendMessage to the unhooking thread; the analyzer
// takes every operation with the arguments its table gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

#include "testbed/common/wav16.h"
#include "testbed/host/vkt_host.h"
#include "tests/plugin_win32/plugin_fixture.h"

namespace {

ReceiverConfig Config(const std::string& wav, uint32_t blockBytes, uint32_t loops) {
    ReceiverConfig c{};
    c.structSize = sizeof c;
    std::strcpy(c.wavPath, wav.c_str());
    c.blockBytes = blockBytes;
    c.loops = loops;
    c.volume = 5;
    return c;
}

std::vector<int16_t> WriteSignal(const std::string& wav, size_t n) {
    std::vector<int16_t> s(n);
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<int16_t>(8000 * std::sin(0.05 * i) + (i % 7));
    testbed::WriteWav16(wav, s.data(), s.size(), 48000);
    return s;
}

struct Received {
    std::vector<int16_t> samples;  // only the stream thread writes until it is unhooked
    std::vector<uint32_t> blockBytes;
    std::set<DWORD> threads;
    uint32_t rate = 0;
};

void VKT_STDCALL Collect(void* context, const int16_t* samples, uint32_t bytes, uint32_t rate) {
    auto* r = static_cast<Received*>(context);
    r->samples.insert(r->samples.end(), samples, samples + bytes / 2);
    r->blockBytes.push_back(bytes);
    r->threads.insert(GetCurrentThreadId());
    r->rate = rate;
}

struct Notch {
    uint32_t code = 0;
    int32_t value = 0;
};

void VKT_STDCALL OnNotch(uint32_t code, int32_t value, void* context) {
    *static_cast<Notch*>(context) = Notch{code, value};
}

template <typename Fn>
Fn Entry(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

TEST(StandInReceiver, StreamsTheFileInConfiguredBlocksOnItsOwnThread) {
    const std::string wav = plugintest::TempFile("stream.if.wav");
    const std::vector<int16_t> signal = WriteSignal(wav, 10100);
    HMODULE receiver = LoadLibraryA("QVK927API.dll");
    auto configure = Entry<TestReceiverConfigureFn>(receiver, "TestReceiverConfigure");
    auto setup = Entry<SetupStreamsFn>(receiver, "SetupStreams");
    auto status = Entry<TestReceiverGetStatusFn>(receiver, "TestReceiverGetStatus");
    ASSERT_TRUE(configure && setup && status);
    ReceiverConfig config = Config(wav, 1000, 2);
    ASSERT_EQ(1u, configure(&config));
    Received got;
    ASSERT_EQ(1u, setup(9, Collect, &got, 0, 0));
    ReceiverStatus s{};
    s.structSize = sizeof s;
    ASSERT_TRUE(plugintest::PumpUntil([&] { return status(&s) && s.finished; }));
    ASSERT_EQ(1u, setup(9, nullptr, nullptr, 0, 0));
    std::vector<int16_t> twice = signal;
    twice.insert(twice.end(), signal.begin(), signal.end());
    EXPECT_EQ(twice, got.samples);
    ASSERT_EQ(42u, got.blockBytes.size());  // 20 blocks of 1000 bytes and one of 200, twice
    EXPECT_EQ(1000u, got.blockBytes[19]);
    EXPECT_EQ(200u, got.blockBytes[20]);
    EXPECT_EQ(42u, s.blocksDelivered);
    EXPECT_EQ(48000u, got.rate);
    ASSERT_EQ(1u, got.threads.size());
    EXPECT_NE(GetCurrentThreadId(), *got.threads.begin());
    plugintest::WriteAll(wav, {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'});
    EXPECT_EQ(0u, configure(&config));  // not 16-bit PCM
    FreeLibrary(receiver);
    std::remove(wav.c_str());
}

TEST(StandInHost, DrivesAPlugInAndKeepsTheUnhookRuleUnderSendMessage) {
    testbed::VktHost host;
    std::string error;
    EXPECT_FALSE(host.Load("QVK927API.dll", &error));  // not a plug-in
    EXPECT_NE(std::string::npos, error.find("vktPluginInit")) << error;
    ASSERT_TRUE(host.Load("fake_plugin.vkt", &error)) << error;
    const std::string wav = plugintest::TempFile("host.if.wav");
    const std::vector<int16_t> signal = WriteSignal(wav, 48000);
    ASSERT_TRUE(host.ConfigureReceiver(Config(wav, 2048, 100)));

    std::string name;
    EXPECT_EQ(0x481u, host.Init(&name, 4));
    EXPECT_EQ("Fake", name);
    host.SetValue(0x0800, 851012500);
    testbed::HostRecordBuilder builder;
    builder.AddBlock(172, std::vector<uint8_t>(24, 0x5A));
    std::vector<uint8_t> record = builder.Build();
    ASSERT_EQ(424u, record.size());
    EXPECT_EQ(reinterpret_cast<uintptr_t>(record.data() + 400), plugintest::Le32(&record[172]));
    ASSERT_NE(0u, host.Start(7, record.data()));
    EXPECT_EQ(0xFFFFFFFFu, host.Start(7, record.data()));
    ASSERT_GE(host.Calls().size(), 3u);
    EXPECT_EQ(record, host.Calls()[0].data);         // PM_HOSTINFO
    EXPECT_EQ(851012500u, host.Calls()[1].answer);   // PM_GETVALUE
    EXPECT_EQ(851012500u, host.Calls()[2].dwParam);  // what the plug-in got

    // A modal box found by its caption is dismissed with its text kept.
    host.Notify(7, 0x7777);
    ASSERT_EQ(1u, host.Dismissed().size());
    EXPECT_EQ("K927APCO - Error", host.Dismissed()[0].caption);
    EXPECT_EQ("Failed to load K927API.", host.Dismissed()[0].text);
    EXPECT_EQ(static_cast<uint32_t>(IDOK), host.Calls().back().dwParam);

    // Blocks go stream thread -> SendMessage -> GUI thread -> host; close while they run.
    ASSERT_TRUE(host.PumpUntil([&] { return host.Count(0x110A) >= 50; }, 20000));
    host.Close(7);
    const size_t audioCalls = host.Count(0x110A);
    host.Pump(100);
    uint32_t entered = 0, late = 0;
    Entry<void(VKT_STDCALL*)(uint32_t*, uint32_t*)>(GetModuleHandleA("fake_plugin.vkt"), "FakePluginStats")(&entered,
                                                                                                            &late);
    EXPECT_EQ(0u, late);
    EXPECT_EQ(entered, audioCalls);  // every block that entered reached the host
    EXPECT_EQ(audioCalls, host.Count(0x110A));
    EXPECT_EQ(0x4000u, host.Calls().back().msg);
    EXPECT_EQ(0u, host.CallsOffGuiThread());
    auto first = std::find_if(host.Calls().begin(), host.Calls().end(),
                              [](const testbed::HostCall& c) { return c.msg == 0x110A; });
    ASSERT_NE(host.Calls().end(), first);
    ASSERT_EQ(2048u, first->data.size());
    EXPECT_EQ(0, std::memcmp(first->data.data(), signal.data(), 2048));
    const std::string log = host.ReceiverLog();
    EXPECT_NE(std::string::npos, log.find("SetupStreams 7 hook")) << log;
    EXPECT_NE(std::string::npos, log.find("SetupStreams 7 unhook")) << log;
    ReceiverStatus status{};
    ASSERT_TRUE(host.GetReceiverStatus(&status));
    EXPECT_EQ(entered, status.blocksDelivered);
    std::remove(wav.c_str());
}

// The host's count sees a fault that is caught inside the system (as Wine catches one in a
// window procedure): IsBadReadPtr reads through a bad pointer and answers instead of crashing.
TEST(StandInHost, CountsAccessViolationsThatAreCaughtElsewhere) {
    testbed::VktHost host;
    const long before = testbed::VktHost::AccessViolations();
    EXPECT_TRUE(IsBadReadPtr(reinterpret_cast<const void*>(16), 4));
    EXPECT_EQ(before + 1, testbed::VktHost::AccessViolations());
    if (before == 0) EXPECT_NE(std::string::npos, testbed::VktHost::AccessViolationReport().find("reading 0x10"));
    EXPECT_FALSE(IsBadReadPtr(&host, sizeof host));
    EXPECT_EQ(before + 1, testbed::VktHost::AccessViolations());
}

TEST(StandInAnalyzer, TakesEveryOperationAndHandsBackNoComponent) {
    HMODULE library = LoadLibraryA("k927apcospect.dll");
    auto create = Entry<CreateAnalyzerFn>(library, "CreateAnalyzer");
    auto stats = Entry<TestAnalyzerGetStatsFn>(library, "TestAnalyzerGetStats");
    auto fire = Entry<TestAnalyzerFireCallbackFn>(library, "TestAnalyzerFireCallback");
    ASSERT_TRUE(create && stats && fire);
    HWND parent =
        CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    ISpectrumAnalyzer* a = create(parent, 0, 0, 100, 100, 0x56010000, 0);
    ASSERT_NE(nullptr, a);
    Notch notch;
    std::vector<float> samples(1024);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = 10000.0f * std::cos(0.5f * i);
    for (int slot = 0; slot < kAnalyzerSlotCount; ++slot) {
        const uintptr_t word = slot == kAnalyzerSetCallback ? reinterpret_cast<uintptr_t>(&OnNotch) : 12500;
        uintptr_t result = 1;
        if (slot == kAnalyzerDisplaySpectrum)
            reinterpret_cast<AnalyzerDisplayOp>(a->ops[slot])(a, samples.data(), 1024, 0, 0, 4);
        else if (AnalyzerSlotArguments(slot) == 2)
            reinterpret_cast<AnalyzerOp2>(a->ops[slot])(a, word, reinterpret_cast<uintptr_t>(&notch));
        else if (AnalyzerSlotArguments(slot) == 1)
            reinterpret_cast<AnalyzerOp1>(a->ops[slot])(a, word);
        else if (slot != kAnalyzerClose)
            result = reinterpret_cast<AnalyzerOp0>(a->ops[slot])(a);
        EXPECT_TRUE(slot != kAnalyzerGetComponent || result == 0);  // no component crosses over
    }
    EXPECT_EQ(1u, fire(3, -250));
    EXPECT_EQ(3u, notch.code);
    EXPECT_EQ(-250, notch.value);
    plugintest::PumpUntil([] { return false; }, 50);  // paints
    AnalyzerStats s{};
    s.structSize = sizeof s;
    ASSERT_EQ(1u, stats(&s));
    EXPECT_EQ(0u, s.offThreadCalls);
    EXPECT_EQ(1024u, s.samplesDisplayed);
    for (int slot = 0; slot < kAnalyzerSlotCount; ++slot)
        EXPECT_EQ(slot != kAnalyzerClose, s.slotCalls[slot] == 1) << slot;
    reinterpret_cast<AnalyzerOp0>(a->ops[kAnalyzerClose])(a);
    ASSERT_EQ(1u, stats(&s));
    EXPECT_EQ(0u, s.alive);
    EXPECT_EQ(0u, fire(3, 1));  // no live analyzer any more
    DestroyWindow(parent);
    FreeLibrary(library);
}
