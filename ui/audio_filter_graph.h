// CAudioFilterGraph: the panel "Audio Filter Settings" that plots the audio filter over a
// dB/kHz grid (0..8000 Hz, 0..-100 dB): the ideal pass band from the two cut-offs and the
// de-emphasis slope, the filter's measured magnitude response, and two cut-off markers that the
// user drags. A drag changes the cut-off and raises OnFreqLowChanged / OnFreqHighChanged
// (sender, Hz); the owner applies it to the filter and hands the filter back with SetFilter,
// and the curve is recomputed 50 ms after the last SetFilter, so a burst of them costs one
// computation. In low-pass mode there is no low marker.
//
// Plot: left 38, top 4, right = client width - 10, bottom = client height - 11. The grid is
// drawn once into a bitmap; each paint composes grid, ideal band and curve in a back buffer.
// GUI thread only; the filter's own lock guards its design against the stream thread.
#pragma once

#include <windows.h>

#include "foundation/scratch_buffer.h"
#include "toolkit/event.h"
#include "toolkit/panel.h"

class CFirFilter;
class DibBitmap;

class CAudioFilterGraph : public Panel {
public:
    static constexpr int kMaxHz = 8000;
    static constexpr UINT_PTR kResponseTimer = 1;
    static constexpr UINT kResponseDelayMs = 50;
    static constexpr float kNoBinDb = -200.0f;  // a column that no bin of the response reaches

    CAudioFilterGraph(HWND parent, int x, int y, int width, int height, DWORD style, DWORD exStyle);
    ~CAudioFilterGraph() override;

    void DoOnLButtonDown(int keys, int x, int y) override;
    void DoOnLButtonUp(int keys, int x, int y) override;
    void DoOnMouseMove(int keys, int x, int y) override;
    void SetBevelDepth(int depth) override;
    LRESULT DoOnPaint(HDC hdc) override;
    void DoOnTimer(UINT_PTR id) override;
    void DoOnResize() override;
    void DoOnEnable() override;

    // Repaints; a filter is remembered and its response computed 50 ms later.
    void SetFilter(CFirFilter* filter);
    void SetFreqLow(int hz);
    void SetFreqHigh(int hz);
    int GetFreqLow() const { return m_freqLow; }
    int GetFreqHigh() const { return m_freqHigh; }
    void SetLowpass(bool lowpass);
    bool IsLowpass() const { return m_lowpass; }
    void SetDeemphasis(float dbPerOctave);
    float GetDeemphasis() const { return m_deemphasis; }  // dB/oct

    // Scales (client coordinates).
    int FreqToX(int hz) const;
    int XToFreq(int x) const;
    int DbToY(float db) const;
    // The ideal level at hz: the de-emphasis slope in octaves above the low cut-off; at or
    // below the low edge (and at 0 Hz) the level of the low edge, 0 dB.
    float DeemphasisAt(float hz) const;
    RECT GetPlotRect() const { return RECT{m_left, m_top, m_right, m_bottom}; }
    int GetMarkerX(int which) const { return which == 1 ? m_xLow : m_xHigh; }
    // One dB value per plot column (width + 1 of them), null while not valid.
    const float* GetResponse(int* columns) const;

    Event<int> OnFreqLowChanged;
    Event<int> OnFreqHighChanged;

private:
    void Relayout();
    void ReleaseBitmaps();
    // 1 low marker, 2 high marker, 0 none.
    int HitTest(int x, int y) const;
    void DrawGrid();
    void DrawResponse(HDC hdc);
    void UpdateResponse(CFirFilter* filter);
    void PlaceLowMarker();

    bool m_gridValid = false;
    DibBitmap* m_gridBitmap = nullptr;
    DibBitmap* m_backBuffer = nullptr;
    int m_left = 38, m_top = 4, m_right = 0, m_bottom = 0;
    int m_width = 0, m_height = 0;
    HFONT m_font = nullptr;
    int m_freqLow = 0;
    int m_freqHigh = 4000;
    int m_xLow = 0;
    int m_xHigh = 0;
    HPEN m_markerPen = nullptr;
    HPEN m_responsePen = nullptr;
    int m_grabbed = 0;
    HCURSOR m_sizeCursor = nullptr;
    HCURSOR m_arrowCursor = nullptr;
    float m_deemphasis = 0.0f;
    bool m_lowpass = false;
    ScratchBuffer<float> m_response;
    bool m_responseValid = false;
    int m_grabOffset = 0;
    int m_timerId = 0;
    CFirFilter* m_pendingFilter = nullptr;
    float m_log2Low = 0.0f;
    int m_bevelDepth = -2;
};
