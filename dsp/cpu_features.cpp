#include "dsp/cpu_features.h"

#include <atomic>
#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#define APCO_HAVE_CPUID 1
#endif

bool CpuIdSupported() {
#if defined(APCO_HAVE_CPUID)
    // __get_cpuid_max checks the EFLAGS.ID bit on 32-bit processors instead of trapping.
    return __get_cpuid_max(0, nullptr) != 0;
#else
    return false;
#endif
}

bool CpuGetVendor(CpuFeatures* features) {
#if defined(APCO_HAVE_CPUID)
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!features || !CpuIdSupported() || !__get_cpuid(0, &a, &b, &c, &d)) return false;
    features->highestLeaf = a;
    std::memcpy(features->vendor, &b, 4);
    std::memcpy(features->vendor + 4, &d, 4);
    std::memcpy(features->vendor + 8, &c, 4);
    features->vendor[12] = '\0';
    return true;
#else
    return false;
#endif
}

bool CpuGetFeatures(CpuFeatures* features) {
#if defined(APCO_HAVE_CPUID)
    if (!CpuGetVendor(features) || features->highestLeaf < 1) return false;
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    features->eax = a;
    features->ebx = b;
    features->ecx = c;
    features->edx = d;
    return true;
#else
    return false;
#endif
}

bool CpuHasMmx() {
    static std::atomic<int> cached{2};  // 2: not yet probed
    int value = cached.load(std::memory_order_relaxed);
    if (value == 2) {
        CpuFeatures features;
        value = CpuGetFeatures(&features) && (features.edx & (1u << 23)) ? 1 : 0;
        cached.store(value, std::memory_order_relaxed);
    }
    return value == 1;
}
