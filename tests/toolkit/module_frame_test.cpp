#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "toolkit/module_frame.h"
#include "toolkit_fixture.h"

namespace {

std::vector<int> g_exitDepths;  // the depth each time the exit handler ran
Component* g_window = nullptr;

void NoteExit() noexcept {
    g_exitDepths.push_back(ModuleFrame::Depth());
    // A frame the handler opens itself (a window message) does not run it again.
    if (g_window && g_exitDepths.size() == 1) SendMessageA(g_window->GetHandle(), WM_NULL, 0, 0);
}

// A window whose messages report how deep they arrived and may send one more to itself.
class DepthProbe : public Component {
public:
    DepthProbe() : Component("probe", WS_POPUP, 0, 0, 0, 20, 20, nullptr) {}
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_APP) {
            depths.push_back(ModuleFrame::Depth());
            if (wParam) SendMessageA(GetHandle(), WM_APP, wParam - 1, 0);
            return 0;
        }
        return Component::WndProc(msg, wParam, lParam);
    }
    std::vector<int> depths;
};

TEST(ModuleFrame, WindowProceduresCountAndTheOutermostExitRunsTheHandlerOnce) {
    auto* probe = new DepthProbe;
    g_window = probe;
    g_exitDepths.clear();
    ModuleFrame::SetExitHandler(&NoteExit);
    EXPECT_EQ(ModuleFrame::Depth(), 0);
    SendMessageA(probe->GetHandle(), WM_APP, 2, 0);  // three nested window procedures
    EXPECT_EQ(probe->depths, (std::vector<int>{1, 2, 3}));
    // Once, at the outermost exit, with that frame still counted; the handler's own message
    // opened a nested frame that did not run it a second time.
    EXPECT_EQ(g_exitDepths, (std::vector<int>{1}));
    EXPECT_EQ(ModuleFrame::Depth(), 0);
    {
        ModuleFrame exportFrame;  // as an export of the module opens one
        SendMessageA(probe->GetHandle(), WM_APP, 0, 0);
        EXPECT_EQ(probe->depths.back(), 2);
        EXPECT_EQ(g_exitDepths.size(), 1u);
    }
    EXPECT_EQ(g_exitDepths, (std::vector<int>{1, 1}));
    ModuleFrame::SetExitHandler(nullptr);
    g_window = nullptr;
    SendMessageA(probe->GetHandle(), WM_APP, 0, 0);
    EXPECT_EQ(g_exitDepths.size(), 2u);
    delete probe;
}

DWORD WINAPI ReadDepth(void* p) {
    *static_cast<int*>(p) = ModuleFrame::Depth();
    return 0;
}

// Frames count per thread: another thread's window procedures start from 0.
TEST(ModuleFrame, DepthBelongsToTheThread) {
    ModuleFrame outer;
    int seen = -1;
    HANDLE thread = CreateThread(nullptr, 0, &ReadDepth, &seen, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_EQ(seen, 0);
    EXPECT_EQ(ModuleFrame::Depth(), 1);
}

}  // namespace
