#include "toolkit/module_frame.h"

#include <atomic>

namespace {
thread_local int t_depth = 0;
std::atomic<ModuleFrame::ExitHandler> g_exitHandler{nullptr};
}  // namespace

ModuleFrame::ModuleFrame() { ++t_depth; }

ModuleFrame::~ModuleFrame() {
    if (t_depth == 1) {
        if (ExitHandler handler = g_exitHandler.load()) handler();
    }
    --t_depth;
}

int ModuleFrame::Depth() { return t_depth; }

void ModuleFrame::SetExitHandler(ExitHandler handler) { g_exitHandler = handler; }
