#include "toolkit/module_frame.h"

#include <windows.h>

#include <atomic>

namespace {
std::atomic<int> g_depth{0};
std::atomic<DWORD> g_thread{0};  // the thread whose frames are counted while g_depth > 0
std::atomic<ModuleFrame::ExitHandler> g_exitHandler{nullptr};
}  // namespace

ModuleFrame::ModuleFrame() : m_counted(false) {
    const DWORD self = GetCurrentThreadId();
    if (g_depth == 0) g_thread = self;
    if (g_thread != self) return;
    ++g_depth;
    m_counted = true;
}

ModuleFrame::~ModuleFrame() {
    if (!m_counted) return;
    if (g_depth == 1) {
        if (ExitHandler handler = g_exitHandler.load()) handler();
    }
    --g_depth;
}

int ModuleFrame::Depth() { return g_thread == GetCurrentThreadId() ? g_depth.load() : 0; }

void ModuleFrame::SetExitHandler(ExitHandler handler) { g_exitHandler = handler; }
