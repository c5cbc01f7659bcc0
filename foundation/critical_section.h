// The lock that guards state shared between the GUI thread and the receiver's stream thread.
// Recursive for its owning thread. Each owner says which of its members the section guards.
#pragma once

#include "foundation/platform.h"

class CriticalSection {
public:
    CriticalSection() { platform::LockInit(&m_lock); }
    ~CriticalSection() { platform::LockDestroy(&m_lock); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter() { platform::LockEnter(&m_lock); }
    void Leave() { platform::LockLeave(&m_lock); }

private:
    platform::LockStorage m_lock;
};

// Holds a section for the extent of a scope; a null section is neither entered nor left.
class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CriticalSection* section) : m_section(section) {
        if (m_section) m_section->Enter();
    }
    ~CriticalSectionLock() {
        if (m_section) m_section->Leave();
    }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CriticalSection* m_section;
};
