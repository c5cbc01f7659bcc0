// Event delegates: the toolkit's one callback mechanism. A control raises an Event; its owner
// binds the Event to one of its own member operations. The first argument is always the
// sender; Event<A...> carries the further arguments (values or pointers through which a
// handler answers). Raising an Event that nobody bound does nothing.
#pragma once

#include <cstring>

class Object;

template <typename... Args>
class Event {
public:
    Event() { Unbind(); }

    // target may be any class; a null target leaves the Event unset.
    template <class T>
    void Bind(T* target, void (T::*method)(Object* sender, Args...)) {
        static_assert(sizeof method <= sizeof m_method, "member pointer too large");
        Unbind();
        if (!target || !method) return;
        m_target = target;
        std::memcpy(m_method, &method, sizeof method);
        m_thunk = &Thunk<T>;
    }
    void Unbind() {
        m_target = nullptr;
        m_thunk = nullptr;
        std::memset(m_method, 0, sizeof m_method);
    }
    bool IsSet() const { return m_target != nullptr && m_thunk != nullptr; }
    void Invoke(Object* sender, Args... args) const {
        if (IsSet()) m_thunk(m_target, m_method, sender, args...);
    }

private:
    template <class T>
    static void Thunk(void* target, const unsigned char* stored, Object* sender, Args... args) {
        void (T::*method)(Object*, Args...);
        std::memcpy(&method, stored, sizeof method);
        (static_cast<T*>(target)->*method)(sender, args...);
    }

    void* m_target;
    void (*m_thunk)(void*, const unsigned char*, Object*, Args...);
    alignas(8) unsigned char m_method[16];
};
