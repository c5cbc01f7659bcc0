// One GDI pen, dotted pen or brush per colour, shared with a reference count: windows acquire
// them when their colours change and release them when they change again or go.
// GUI thread only.
#pragma once

#include <windows.h>

class GraphicsResourceTracker {
public:
    enum Kind { kPen, kDotPen, kBrush, kKinds };

    GraphicsResourceTracker() = default;
    ~GraphicsResourceTracker();  // reports and deletes what is left
    GraphicsResourceTracker(const GraphicsResourceTracker&) = delete;
    GraphicsResourceTracker& operator=(const GraphicsResourceTracker&) = delete;

    HPEN AcquirePen(COLORREF colour);     // solid, width 0
    HPEN AcquireDotPen(COLORREF colour);  // PS_DOT, width 1
    HBRUSH AcquireBrush(COLORREF colour);
    // Count - 1; the object is deleted with the last reference. A handle not in the list is
    // reported and nothing else happens.
    void ReleasePen(HPEN pen);
    void ReleaseDotPen(HPEN pen);
    void ReleaseBrush(HBRUSH brush);

    // For leak checks: objects held and references to them, per kind.
    int GetObjectCount(Kind kind) const;
    int GetReferenceCount(Kind kind) const;
    int GetReferences(HGDIOBJ handle) const;  // 0 when not tracked
    // "Undeleted graphics resource: ..." for every object left; each is deleted.
    void ReportLeaks();
    // Where the reports go (OutputDebugStringA unless a test redirects them).
    void SetReportFunction(void (*report)(const char* text)) { m_report = report; }

private:
    struct Node {
        HGDIOBJ handle;
        COLORREF colour;
        int refs;
        Node* next;
        Node* prev;
    };
    HGDIOBJ Acquire(Kind kind, COLORREF colour);
    void Release(Kind kind, HGDIOBJ handle);

    Node* m_heads[kKinds] = {};
    void Report(const char* text) const;
    void (*m_report)(const char* text) = nullptr;
};
