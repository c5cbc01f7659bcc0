// The root of every toolkit object: a type tag in place of run-time type information.
//
// Toolkit windows carry kTypeTagBase + a class index; everything else carries 0. The trace
// log names an object's class by it, and Component::FromHandle tells a bare Window by it.
#pragma once

#include <cstdint>

constexpr uint32_t kTypeTagBase = 0x28174800u;

class Object {
public:
    explicit Object(uint32_t tag = 0) : m_type(tag) {}
    virtual void SetType(uint32_t tag) { m_type = tag; }
    virtual ~Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    // Non-virtual on purpose: it must be callable on a pointer whose vtable is not trusted
    // (the caller checks that the word is readable first).
    uint32_t GetType() const { return m_type; }

private:
    uint32_t m_type;
};
