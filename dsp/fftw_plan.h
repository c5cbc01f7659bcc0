// The one wrapper of FFTW in the project: a real transform of n points, in place on one
// fftwf_malloc buffer, with its plans made and destroyed under the process-wide planner lock.
#pragma once

#include <fftw3.h>

#include "foundation/critical_section.h"

// FFTW's planner is not thread-safe (only fftwf_execute is), and both the stream thread and
// the GUI thread design filters: every fftwf_plan_* and fftwf_destroy_plan takes this lock.
CriticalSection& FftwPlannerLock();

class RealFftPlan {
public:
    enum Direction { kForward = 1, kInverse = 2 };

    RealFftPlan() = default;
    ~RealFftPlan() { Destroy(); }
    RealFftPlan(const RealFftPlan&) = delete;
    RealFftPlan& operator=(const RealFftPlan&) = delete;

    // Makes the buffer and the plans (FFTW_ESTIMATE) named by directions for n >= 2 points,
    // destroying any previous ones first. False on failure, leaving nothing behind.
    bool Create(int n, int directions);
    void Destroy();

    bool IsReady() const { return m_data != nullptr; }
    int GetSize() const { return m_size; }
    int GetBinCount() const { return m_size / 2 + 1; }
    // 2 * (n/2 + 1) floats: n time samples before a forward transform and after an inverse
    // one, n/2 + 1 interleaved complex bins otherwise.
    float* GetData() const { return m_data; }
    void Clear();

    // Unnormalised: Inverse(Forward(x)) = n * x. The inverse consumes its input bins.
    void Forward() { fftwf_execute(m_forward); }
    void Inverse() { fftwf_execute(m_inverse); }

private:
    int m_size = 0;
    float* m_data = nullptr;
    fftwf_plan m_forward = nullptr;
    fftwf_plan m_inverse = nullptr;
};
