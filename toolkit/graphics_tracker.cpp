#include "toolkit/graphics_tracker.h"

#include <cstdint>
#include <cstdio>
#include <new>

GraphicsResourceTracker::~GraphicsResourceTracker() { ReportLeaks(); }

void GraphicsResourceTracker::Report(const char* text) const {
    if (m_report)
        m_report(text);
    else
        OutputDebugStringA(text);
}

HGDIOBJ GraphicsResourceTracker::Acquire(Kind kind, COLORREF colour) {
    for (Node* n = m_heads[kind]; n; n = n->next)
        if (n->colour == colour) {
            ++n->refs;
            return n->handle;
        }
    HGDIOBJ handle = kind == kPen      ? static_cast<HGDIOBJ>(CreatePen(PS_SOLID, 0, colour))
                     : kind == kDotPen ? static_cast<HGDIOBJ>(CreatePen(PS_DOT, 1, colour))
                                       : static_cast<HGDIOBJ>(CreateSolidBrush(colour));
    Node* n = new (std::nothrow) Node{handle, colour, 1, m_heads[kind], nullptr};
    if (!n) return handle;  // untracked, but still usable
    if (m_heads[kind]) m_heads[kind]->prev = n;
    m_heads[kind] = n;
    return handle;
}

void GraphicsResourceTracker::Release(Kind kind, HGDIOBJ handle) {
    for (Node* n = m_heads[kind]; n; n = n->next) {
        if (n->handle != handle) continue;
        if (--n->refs > 0) return;
        DeleteObject(n->handle);
        if (n->prev)
            n->prev->next = n->next;
        else
            m_heads[kind] = n->next;
        if (n->next) n->next->prev = n->prev;
        delete n;
        return;
    }
    static const char* const kMessages[kKinds] = {"DeletePen called for non-existing handle\n",
                                                  "DeleteDotPen called for non-existing handle\n",
                                                  "DeleteBrush called for non-existing handle\n"};
    Report(kMessages[kind]);
}

HPEN GraphicsResourceTracker::AcquirePen(COLORREF colour) { return static_cast<HPEN>(Acquire(kPen, colour)); }
HPEN GraphicsResourceTracker::AcquireDotPen(COLORREF colour) { return static_cast<HPEN>(Acquire(kDotPen, colour)); }
HBRUSH GraphicsResourceTracker::AcquireBrush(COLORREF colour) { return static_cast<HBRUSH>(Acquire(kBrush, colour)); }
void GraphicsResourceTracker::ReleasePen(HPEN pen) { Release(kPen, pen); }
void GraphicsResourceTracker::ReleaseDotPen(HPEN pen) { Release(kDotPen, pen); }
void GraphicsResourceTracker::ReleaseBrush(HBRUSH brush) { Release(kBrush, brush); }

int GraphicsResourceTracker::GetObjectCount(Kind kind) const {
    int count = 0;
    for (Node* n = m_heads[kind]; n; n = n->next) ++count;
    return count;
}

int GraphicsResourceTracker::GetReferenceCount(Kind kind) const {
    int count = 0;
    for (Node* n = m_heads[kind]; n; n = n->next) count += n->refs;
    return count;
}

int GraphicsResourceTracker::GetReferences(HGDIOBJ handle) const {
    for (int k = 0; k < kKinds; ++k)
        for (Node* n = m_heads[k]; n; n = n->next)
            if (n->handle == handle) return n->refs;
    return 0;
}

void GraphicsResourceTracker::ReportLeaks() {
    static const char* const kNames[kKinds] = {"Pen=", "DotPen=", "Brush="};
    for (int k = 0; k < kKinds; ++k) {
        while (Node* n = m_heads[k]) {
            char line[160];
            std::snprintf(line, sizeof line, "Undeleted graphics resource: %s%lx, color=%06lx, refcount=%d\n",
                          kNames[k], static_cast<unsigned long>(reinterpret_cast<uintptr_t>(n->handle)),
                          static_cast<unsigned long>(n->colour), n->refs);
            Report(line);
            DeleteObject(n->handle);
            m_heads[k] = n->next;
            delete n;
        }
    }
}
