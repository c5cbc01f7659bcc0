#include "dsp/fftw_plan.h"

#include <cstring>

CriticalSection& FftwPlannerLock() {
    static CriticalSection lock;
    return lock;
}

bool RealFftPlan::Create(int n, int directions) {
    Destroy();
    if (n < 2) return false;
    const int floats = 2 * (n / 2 + 1);
    m_data = static_cast<float*>(fftwf_malloc(sizeof(float) * floats));
    if (!m_data) return false;
    std::memset(m_data, 0, sizeof(float) * floats);
    m_size = n;
    fftwf_complex* bins = reinterpret_cast<fftwf_complex*>(m_data);
    bool ok = true;
    {
        CriticalSectionLock lock(&FftwPlannerLock());
        if (directions & kForward) {
            m_forward = fftwf_plan_dft_r2c_1d(n, m_data, bins, FFTW_ESTIMATE);
            ok = ok && m_forward;
        }
        if (directions & kInverse) {
            m_inverse = fftwf_plan_dft_c2r_1d(n, bins, m_data, FFTW_ESTIMATE);
            ok = ok && m_inverse;
        }
    }
    if (!ok) Destroy();
    return ok;
}

void RealFftPlan::Destroy() {
    if (m_forward || m_inverse) {
        CriticalSectionLock lock(&FftwPlannerLock());
        if (m_forward) fftwf_destroy_plan(m_forward);
        if (m_inverse) fftwf_destroy_plan(m_inverse);
    }
    m_forward = m_inverse = nullptr;
    if (m_data) fftwf_free(m_data);
    m_data = nullptr;
    m_size = 0;
}

void RealFftPlan::Clear() {
    if (m_data) std::memset(m_data, 0, sizeof(float) * 2 * (m_size / 2 + 1));
}
