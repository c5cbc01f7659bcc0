#include "toolkit/application.h"

#include <cstdio>
#include <cstring>

#include "foundation/object.h"
#include "foundation/profiler.h"
#include "foundation/trace.h"
#include "foundation/win32/modal_refusal.h"
#include "foundation/win32/readable_memory.h"
#include "toolkit/component.h"

namespace {

Application g_application;

// The first thread that writes a line; once another one writes, lines carry thread ids.
DWORD g_firstThread = 0;
volatile LONG g_multiThread = 0;

void TraceSinkToLog(const char* line) { g_application.LogV(nullptr, 0, "%s", line); }

HINSTANCE ToolkitModule() {
    MEMORY_BASIC_INFORMATION info = {};
    VirtualQuery(reinterpret_cast<const void*>(&ToolkitModule), &info, sizeof info);
    return static_cast<HINSTANCE>(info.AllocationBase);
}

bool IsUserInput(UINT msg) {
    return (msg >= WM_KEYFIRST && msg <= WM_KEYLAST) || (msg >= WM_MOUSEFIRST && msg <= WM_MOUSEHWHEEL) ||
           (msg >= WM_NCMOUSEMOVE && msg <= WM_NCXBUTTONDBLCLK) || msg == WM_SYSCOMMAND || msg == WM_CONTEXTMENU;
}

}  // namespace

Application* GetApplication() { return &g_application; }

Application::Application() : m_instance(ToolkitModule()) {
    SetTraceSink(TraceSinkToLog);
    SetModalRefusalTest(&Component::ModalLoopsRefusedFor);
}

Application::~Application() {
    SetModalRefusalTest(nullptr);
    SetTraceSink(nullptr);
    m_tracker.ReportLeaks();
    delete m_profiler;
    SetActiveProfiler(nullptr);
}

void Application::Init(int, bool debugOutput, const char* logFile) {
    m_quitting = false;
    m_debugOutput = debugOutput;
    if (debugOutput && !m_profiler) {
        m_profiler = new Profiler();
        SetActiveProfiler(m_profiler);
    }
    m_logFile[0] = 0;
    if (logFile) {
        std::strncpy(m_logFile, logFile, sizeof m_logFile - 1);
        m_logFile[sizeof m_logFile - 1] = 0;
        DeleteFileA(m_logFile);
    }
}

bool Application::DispatchPumped(const MSG& msg) {
    if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        return false;
    }
    if (IsUserInput(msg.message) && Component::ModalLoopsRefusedFor(msg.hwnd)) return true;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return true;
}

void Application::ProcessMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        if (!DispatchPumped(msg)) return;
}

int Application::Run() {
    MSG msg;
    int r = 0;
    while (!m_quitting && (r = GetMessageA(&msg, nullptr, 0, 0)) > 0) DispatchPumped(msg);
    return r;
}

const char* Application::TypeName(uint32_t tag) {
    if ((tag & ~0xFFu) != kTypeTagBase) return "Unknown";
    switch (tag & 0xFF) {
    case 0: return "Window";
    case 1: return "Component";
    case 2: return "Panel";
    case 3: return "Button";
    case 4: return "ScrollBar";
    case 5: return "Edit";
    case 6: return "Memo";
    case 7: return "Listbox";
    case 8: return "ComboBox";
    case 9: return "NamedPipeServer";
    case 10: return "NamedPipeClient";
    case 12: return "IntEdit";
    case 13: return "S-Meter";
    case 14: return "InviPanel";
    case 15: return "Header";
    case 18: return "InviPanel";
    case 21: return "TreeView";
    default: return "Unknown";
    }
}

void Application::Log(const Object* object, int level, const char* format, va_list args) {
    if (!m_debugOutput && !m_logFile[0]) return;
    DWORD thread = GetCurrentThreadId();
    if (InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(&g_firstThread), static_cast<LONG>(thread), 0) !=
            0 &&
        g_firstThread != thread)
        InterlockedExchange(&g_multiThread, 1);
    CriticalSectionLock lock(&m_lock);
    if (level > 0) m_indent = m_indent + level > kMaxIndent ? kMaxIndent : m_indent + level;
    char text[4096];
    int n = m_indent;
    std::memset(text, ' ', static_cast<size_t>(n));
    int body = std::vsnprintf(text + n, sizeof text - static_cast<size_t>(n) - 1, format, args);
    n += body < 0 ? 0 : (body > static_cast<int>(sizeof text) - n - 2 ? static_cast<int>(sizeof text) - n - 2 : body);
    text[n++] = '\n';
    text[n] = 0;
    const char* type = "Unknown";
    // Asked, not probed: a probe would disarm a guard page the object may lie on.
    if (object && IsReadableMemory(object, sizeof(Object))) type = TypeName(object->GetType());
    uint32_t now = static_cast<uint32_t>(m_timer.Elapsed(1000));
    char line[4300];
    if (g_multiThread)
        std::snprintf(line, sizeof line, "%4u: [%8u]\t<%10s:%p-%6lx>\t%s", m_sequence, now - m_lastLineMs, type,
                      static_cast<const void*>(object), static_cast<unsigned long>(thread), text);
    else
        std::snprintf(line, sizeof line, "%4u: [%8u]\t<%10s:%p>\t%s", m_sequence, now - m_lastLineMs, type,
                      static_cast<const void*>(object), text);
    ++m_sequence;
    m_lastLineMs = now;
    if (m_logFile[0]) {
        FILE* f = nullptr;
        for (int attempt = 0; attempt <= 100 && !(f = std::fopen(m_logFile, "a")); ++attempt) Sleep(10);
        if (f) {
            std::fputs(line, f);
            std::fclose(f);
        }
    }
    if (m_debugOutput) OutputDebugStringA(line);
    if (level < 0) m_indent = m_indent + level < 0 ? 0 : m_indent + level;
}

void Application::LogV(const Object* object, int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    Log(object, level, format, args);
    va_end(args);
}

const char* Application::ParseArgument(const char* cursor, String* word) {
    *word = "";
    if (!cursor) return cursor;
    while (*cursor >= 1 && *cursor <= 32) ++cursor;
    if (cursor[0] == '"' && cursor[1] == '"') return cursor + 2;  // "" is an empty word
    char text[4096];
    int n = 0;
    bool quoted = false;
    while (*cursor && (quoted || static_cast<unsigned char>(*cursor) >= 33)) {
        if (*cursor == '"')
            quoted = !quoted;
        else if (n < 4095)
            text[n++] = *cursor;
        ++cursor;
    }
    *word = String(text, n);
    return cursor;
}

void Application::GetArgument(String* word, int index) const {
    *word = "";
    if (index == 0) {
        char path[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        *word = path;
        return;
    }
    const char* cursor = GetCommandLineA();
    for (int i = 0; i <= index; ++i) {
        while (cursor && *cursor >= 1 && *cursor <= 32) ++cursor;
        if (!cursor || !*cursor) {
            *word = "";
            return;
        }
        cursor = ParseArgument(cursor, word);
    }
}

int Application::GetArgumentCount() const {
    const char* cursor = GetCommandLineA();
    int count = 0;
    String word;
    for (;;) {
        while (cursor && *cursor >= 1 && *cursor <= 32) ++cursor;
        if (!cursor || !*cursor) return count;
        cursor = ParseArgument(cursor, &word);
        ++count;
    }
}
