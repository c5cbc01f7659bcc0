#include "foundation/win32/modal_refusal.h"

#include <atomic>

#include "foundation/trace.h"

namespace {
std::atomic<ModalRefusalTest> g_refusalTest{nullptr};
}  // namespace

void SetModalRefusalTest(ModalRefusalTest test) { g_refusalTest.store(test); }

bool MayOpenModalWindow(HWND owner, const char* what) {
    const ModalRefusalTest refused = g_refusalTest.load();
    if (!refused || !refused(owner)) return true;
    TraceLog("not shown, its window is closing: %s", what ? what : "");
    return false;
}
