// What the processor offers, probed once with CPUID.
#pragma once

#include <cstdint>

struct CpuFeatures {
    uint32_t highestLeaf = 0;
    char vendor[13] = {};                         // EBX, EDX, ECX of leaf 0
    uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;  // leaf 1
};

bool CpuIdSupported();
bool CpuGetVendor(CpuFeatures* features);
bool CpuGetFeatures(CpuFeatures* features);
// MMX: bit 23 of EDX of leaf 1. Probed on first use and cached for the process.
bool CpuHasMmx();
