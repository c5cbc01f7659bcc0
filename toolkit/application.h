// The toolkit's one global object: what every toolkit window shares (the module instance, the
// tooltip, the shared pens and brushes), a quit flag and main window, a message pump for code
// that runs long on the GUI thread, and a trace log with its own lock.
//
// The trace log writes nothing unless debug output or a log file is on (Init). It becomes the
// foundation's trace sink, so TraceLog lines from the support library land here too.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdint>

#include "foundation/critical_section.h"
#include "foundation/high_res_timer.h"
#include "foundation/string.h"
#include "toolkit/graphics_tracker.h"
#include "toolkit/tooltip.h"

class Component;
class Object;
class Profiler;

class Application {
public:
    static constexpr int kMaxIndent = 500;

    Application();
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Quit flag 0; debug output (and with it the profiler) on or off; a log file (at most 1023
    // characters of its name) that is deleted now and appended to line by line.
    void Init(int unused, bool debugOutput, const char* logFile);
    // Dispatches every queued message of the thread, then returns; at WM_QUIT it stops early
    // (DispatchPumped).
    void ProcessMessages();
    // The thread's own loop: until the quit flag is set or GetMessageA gives WM_QUIT (which it
    // takes) or fails; returns GetMessageA's last result.
    int Run();
    // The rule that every message pump of the toolkit and the plug-in follows, since any of them
    // may run inside the host's loop. WM_QUIT belongs to the loop that owns the thread: it is
    // posted again with its exit code, and false tells the pump to stop. User input for a
    // window whose root refuses modal loops (it is closing) is dropped: a click still queued
    // must not open anything inside the close. Anything else is translated and dispatched.
    static bool DispatchPumped(const MSG& msg);
    void Terminate() { m_quitting = true; }

    bool IsQuitting() const { return m_quitting; }
    Component* GetMainWindow() const { return m_mainWindow; }
    void SetMainWindow(Component* window) { m_mainWindow = window; }
    HINSTANCE GetInstance() const { return m_instance; }
    Tooltip* GetTooltip() { return &m_tooltip; }
    GraphicsResourceTracker& GetTracker() { return m_tracker; }
    Profiler* GetProfiler() const { return m_profiler; }

    // One trace line. level > 0 indents before the line, level < 0 unindents after it.
    void Log(const Object* object, int level, const char* format, va_list args);
    void LogV(const Object* object, int level, const char* format, ...) __attribute__((format(printf, 4, 5)));
    int GetIndent() const { return m_indent; }

    // Command-line words: ParseArgument returns the cursor after the next word.
    static const char* ParseArgument(const char* cursor, String* word);
    // Word index of the command line; 0 is the executable's path. Empty beyond the last word.
    void GetArgument(String* word, int index) const;
    int GetArgumentCount() const;

    // The trace-log name of a type tag ("Unknown" for any other).
    static const char* TypeName(uint32_t tag);

private:
    CriticalSection m_lock;
    Profiler* m_profiler = nullptr;
    HighResTimer m_timer;
    Component* m_mainWindow = nullptr;
    char m_logFile[1024] = {};
    uint32_t m_lastLineMs = 0;
    uint32_t m_sequence = 0;
    int m_indent = 0;
    bool m_quitting = false;
    HINSTANCE m_instance = nullptr;
    Tooltip m_tooltip;
    GraphicsResourceTracker m_tracker;
    bool m_debugOutput = false;
};

Application* GetApplication();
