#include "ui/audio_filter_graph.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "dsp/fir_filter.h"
#include "toolkit/bitmap.h"

namespace {

constexpr COLORREF kGridColour = RGB(0, 128, 0);
constexpr COLORREF kDisabledGridColour = RGB(0, 64, 0);
constexpr int kGrabPixels = 2;        // half width of a marker's grip
constexpr int kLabelGap = 2;          // dB labels end this far left of the plot
constexpr int kLabelDrop = 4;         // dB labels sit this far below their line
constexpr int kKhzLabelOverhang = 9;  // a kHz label may pass the plot's right edge by this much

}  // namespace

CAudioFilterGraph::CAudioFilterGraph(HWND parent, int x, int y, int width, int height, DWORD style, DWORD exStyle)
    : Panel("Audio Filter Settings", parent, x, y, width, height, style, exStyle) {
    LOGFONTA font;
    std::memset(&font, 0, sizeof font);
    font.lfHeight = -10;
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    std::strcpy(font.lfFaceName, "Arial");
    m_font = CreateFontIndirectA(&font);
    m_markerPen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    m_responsePen = CreatePen(PS_SOLID, 1, RGB(128, 255, 255));
    m_sizeCursor = LoadCursor(nullptr, IDC_SIZEWE);
    m_arrowCursor = LoadCursor(nullptr, IDC_ARROW);
    Relayout();
}

CAudioFilterGraph::~CAudioFilterGraph() {
    if (m_timerId) KillTimer(kResponseTimer);
    ReleaseBitmaps();
    if (m_font) DeleteObject(m_font);
    if (m_markerPen) DeleteObject(m_markerPen);
    if (m_responsePen) DeleteObject(m_responsePen);
}

// Layout ------------------------------------------------------------------------------------

void CAudioFilterGraph::ReleaseBitmaps() {
    delete m_gridBitmap;
    delete m_backBuffer;
    m_gridBitmap = nullptr;
    m_backBuffer = nullptr;
    m_gridValid = false;
}

void CAudioFilterGraph::Relayout() {
    ReleaseBitmaps();
    RECT client;
    ::GetClientRect(GetHandle(), &client);
    m_left = 38;
    m_top = 4;
    m_right = client.right - 10;
    m_bottom = client.bottom - 11;
    m_width = m_right - m_left;
    m_height = m_bottom - m_top;
    m_xHigh = FreqToX(m_freqHigh);
    PlaceLowMarker();
    // The columns moved: the old curve no longer fits them.
    m_responseValid = false;
}

void CAudioFilterGraph::PlaceLowMarker() {
    if (m_lowpass) {
        m_xLow = m_left;
        m_log2Low = 0.0f;
    } else {
        m_xLow = FreqToX(m_freqLow);
        m_log2Low = m_freqLow > 1 ? std::log2(static_cast<float>(m_freqLow)) : 0.0f;
    }
}

void CAudioFilterGraph::DoOnResize() {
    Relayout();
    Panel::DoOnResize();
}

void CAudioFilterGraph::SetBevelDepth(int depth) {
    Panel::SetBevelDepth(depth);
    const int now = GetBevelDepth();
    if (now != m_bevelDepth) {
        m_bevelDepth = now;
        Relayout();
    }
}

void CAudioFilterGraph::DoOnEnable() {
    // The grid's colour follows the enabled state.
    m_gridValid = false;
    Panel::DoOnEnable();
}

// Scales ------------------------------------------------------------------------------------

int CAudioFilterGraph::FreqToX(int hz) const {
    if (hz < 0) return 0;
    if (hz > kMaxHz) {
        RECT client;
        ::GetClientRect(GetHandle(), &client);
        return client.right + 1;
    }
    return static_cast<int>(m_left + m_width * static_cast<double>(hz) / kMaxHz + 0.5);
}

int CAudioFilterGraph::XToFreq(int x) const {
    if (x < m_left || m_width <= 0) return 0;
    if (x > m_right) return kMaxHz;
    return (x - m_left) * kMaxHz / m_width;
}

int CAudioFilterGraph::DbToY(float db) const {
    int y = static_cast<int>(m_top - (m_height + 1) * db * 0.01);
    if (y < m_top) y = m_top;
    if (y > m_bottom) y = m_bottom;
    return y;
}

float CAudioFilterGraph::DeemphasisAt(float hz) const {
    // log2(0) is minus infinity: at the low edge and below it the band starts at 0 dB.
    const float edge = m_lowpass ? 1.0f : static_cast<float>(m_freqLow > 1 ? m_freqLow : 1);
    if (hz <= edge) return 0.0f;
    return m_deemphasis * (std::log2(hz) - m_log2Low);
}

const float* CAudioFilterGraph::GetResponse(int* columns) const {
    if (columns) *columns = m_responseValid ? m_width + 1 : 0;
    return m_responseValid ? m_response.GetData() : nullptr;
}

// Settings ----------------------------------------------------------------------------------

void CAudioFilterGraph::SetFilter(CFirFilter* filter) {
    Invalidate();
    if (!filter) return;
    m_pendingFilter = filter;
    if (m_timerId) KillTimer(kResponseTimer);
    m_timerId = SetTimer(kResponseTimer, kResponseDelayMs) ? static_cast<int>(kResponseTimer) : 0;
}

void CAudioFilterGraph::SetFreqLow(int hz) {
    if (hz == m_freqLow) return;
    m_freqLow = hz;
    PlaceLowMarker();
    Invalidate();
    OnFreqLowChanged.Invoke(this, hz);
}

void CAudioFilterGraph::SetFreqHigh(int hz) {
    if (hz == m_freqHigh) return;
    m_freqHigh = hz;
    m_xHigh = FreqToX(hz);
    Invalidate();
    OnFreqHighChanged.Invoke(this, hz);
}

void CAudioFilterGraph::SetLowpass(bool lowpass) {
    if (lowpass == m_lowpass) return;
    m_lowpass = lowpass;
    PlaceLowMarker();
    Invalidate();
}

void CAudioFilterGraph::SetDeemphasis(float dbPerOctave) {
    m_deemphasis = dbPerOctave;
    Invalidate();
}

// Response ----------------------------------------------------------------------------------

void CAudioFilterGraph::DoOnTimer(UINT_PTR id) {
    if (id == kResponseTimer) {
        UpdateResponse(m_pendingFilter);
        m_pendingFilter = nullptr;
        KillTimer(kResponseTimer);
        m_timerId = 0;
        Invalidate();
        return;
    }
    Panel::DoOnTimer(id);
}

void CAudioFilterGraph::UpdateResponse(CFirFilter* filter) {
    m_responseValid = false;
    if (!filter || m_width < 0) return;
    const int columns = m_width + 1;
    float* out = m_response.Reserve(static_cast<size_t>(columns));
    if (!out) return;
    if (!filter->Design(true)) return;
    int n = 0;
    const float* bins = filter->GetResponse(&n);
    const double nyquist = filter->GetSampleRate() / 2.0;
    if (!bins || n < 2 || nyquist <= 0) return;
    for (int i = 0; i < columns; ++i) out[i] = kNoBinDb;
    // Bins 0 .. n-1 span 0 Hz .. Nyquist; only those up to the plot's 8000 Hz are drawn.
    const double step = nyquist / (n - 1);
    int last = static_cast<int>(kMaxHz / step) + 1;
    if (last > n) last = n;
    for (int i = 0; i < last; ++i) {
        const int column = FreqToX(static_cast<int>(step * i)) - m_left;
        if (column < 0 || column >= columns) continue;
        if (bins[i] > out[column]) out[column] = bins[i];
    }
    m_responseValid = true;
}

// Painting ----------------------------------------------------------------------------------

void CAudioFilterGraph::DrawGrid() {
    HDC dc = m_gridBitmap->GetDC();
    // The panel's own face, frame and caption first: the plot covers only its part.
    Panel::DoOnPaint(dc);
    RECT plot = {m_left, m_top, m_right + 1, m_bottom + 1};
    FillRect(dc, &plot, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    const COLORREF colour = IsEnabled() ? kGridColour : kDisabledGridColour;
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldFont = SelectObject(dc, m_font);
    ::SetTextColor(dc, colour);
    SetBkMode(dc, TRANSPARENT);
    TEXTMETRICA tm;
    GetTextMetricsA(dc, &tm);
    const int textHeight = tm.tmHeight;
    char text[16];
    for (int db = 0; db >= -100; db -= 20) {
        const int y = DbToY(static_cast<float>(db));
        MoveToEx(dc, m_left, y, nullptr);
        LineTo(dc, m_right + 1, y);
        RECT r = {0, y - textHeight / 2 + kLabelDrop, m_left - kLabelGap, 0};
        if (r.top + textHeight > m_bottom) r.top = m_bottom - textHeight;
        r.bottom = r.top + textHeight;
        std::snprintf(text, sizeof text, "%ddB", db);
        DrawTextA(dc, text, -1, &r, DT_RIGHT | DT_SINGLELINE | DT_NOCLIP);
    }
    int previousRight = -1000;
    for (int khz = 0; khz <= 8; khz += 2) {
        const int x = FreqToX(khz * 1000);
        MoveToEx(dc, x, m_top, nullptr);
        LineTo(dc, x, m_bottom + 1);
        std::snprintf(text, sizeof text, "%dkHz", khz);
        SIZE size;
        GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &size);
        int labelLeft = x - size.cx / 2;
        if (labelLeft + size.cx > m_right + kKhzLabelOverhang) labelLeft = m_right + kKhzLabelOverhang - size.cx;
        if (labelLeft < previousRight) continue;
        TextOutA(dc, labelLeft, m_bottom + 1, text, static_cast<int>(std::strlen(text)));
        previousRight = labelLeft + size.cx;
    }
    SelectObject(dc, oldFont);
    SelectObject(dc, oldPen);
    DeleteObject(pen);
    m_gridValid = true;
}

void CAudioFilterGraph::DrawResponse(HDC dc) {
    if (m_width <= 0 || m_height <= 0) return;
    HGDIOBJ oldPen = SelectObject(dc, m_markerPen);
    if (!m_lowpass) {
        MoveToEx(dc, m_xLow, m_top, nullptr);
        LineTo(dc, m_xLow, m_bottom + 1);
        MoveToEx(dc, m_left, m_bottom, nullptr);
        LineTo(dc, m_xLow, m_bottom);
    }
    MoveToEx(dc, m_xHigh, m_bottom, nullptr);
    LineTo(dc, m_right + 1, m_bottom);
    MoveToEx(dc, m_xHigh, m_bottom, nullptr);
    LineTo(dc, m_xHigh, DbToY(DeemphasisAt(static_cast<float>(m_freqHigh))));
    // The top of the ideal pass band, at the exact cut-offs on the marker columns.
    const int lowHz = m_lowpass ? 0 : m_freqLow;
    if (m_deemphasis >= 0.0f) {
        MoveToEx(dc, m_xLow, m_top, nullptr);
        LineTo(dc, m_xHigh + 1, m_top);
    } else {
        for (int x = m_xLow; x <= m_xHigh; ++x) {
            const int hz = x == m_xLow ? lowHz : x == m_xHigh ? m_freqHigh : XToFreq(x);
            const int y = DbToY(DeemphasisAt(static_cast<float>(hz)));
            if (x == m_xLow)
                MoveToEx(dc, x, y, nullptr);
            else
                LineTo(dc, x, y);
        }
    }
    if (m_responseValid) {
        SelectObject(dc, m_responsePen);
        const float* r = m_response.GetData();
        MoveToEx(dc, m_left, DbToY(r[0]), nullptr);
        for (int i = 1; i <= m_width; ++i) LineTo(dc, m_left + i, DbToY(r[i]));
        LineTo(dc, m_right + 1, DbToY(r[m_width]));
    }
    SelectObject(dc, oldPen);
}

LRESULT CAudioFilterGraph::DoOnPaint(HDC hdc) {
    RECT client;
    ::GetClientRect(GetHandle(), &client);
    if (client.right <= 0 || client.bottom <= 0) return Panel::DoOnPaint(hdc);
    try {
        const uint32_t w = static_cast<uint32_t>(client.right), h = static_cast<uint32_t>(client.bottom);
        if (!m_gridBitmap) m_gridBitmap = new DibBitmap(w, h);
        if (!m_backBuffer) m_backBuffer = new DibBitmap(w, h);
    } catch (...) {
        // No bitmap this time: nothing is painted for this frame.
        ReleaseBitmaps();
        return 0;
    }
    if (!m_gridBitmap || !m_backBuffer) {
        ReleaseBitmaps();
        return 0;
    }
    if (!m_gridValid) DrawGrid();
    m_gridBitmap->Draw(m_backBuffer->GetDC(), 0, 0, nullptr, SRCCOPY);
    DrawResponse(m_backBuffer->GetDC());
    m_backBuffer->Draw(hdc, 0, 0, nullptr, SRCCOPY);
    return 0;
}

// Dragging ----------------------------------------------------------------------------------

int CAudioFilterGraph::HitTest(int x, int y) const {
    if (x < m_left - kGrabPixels || x > m_right + kGrabPixels || y < m_top || y > m_bottom) return 0;
    if (!m_lowpass && x >= m_xLow - kGrabPixels && x <= m_xLow + kGrabPixels) return 1;
    if (x >= m_xHigh - kGrabPixels && x <= m_xHigh + kGrabPixels) return 2;
    return 0;
}

void CAudioFilterGraph::DoOnLButtonDown(int keys, int x, int y) {
    m_grabbed = HitTest(x, y);
    if (m_grabbed) {
        m_grabOffset = (m_grabbed == 1 ? m_xLow : m_xHigh) - x;
        SetCapture(GetHandle());
    }
    Panel::DoOnLButtonDown(keys, x, y);
}

void CAudioFilterGraph::DoOnLButtonUp(int keys, int x, int y) {
    if (m_grabbed && GetCapture() == GetHandle()) ReleaseCapture();
    m_grabbed = 0;
    Panel::DoOnLButtonUp(keys, x, y);
}

void CAudioFilterGraph::DoOnMouseMove(int keys, int x, int y) {
    if (m_grabbed == 1) {
        int hz = XToFreq(x + m_grabOffset);
        if (hz > m_freqHigh - 1) hz = m_freqHigh - 1;
        SetFreqLow(hz);
    } else if (m_grabbed == 2) {
        int hz = XToFreq(x + m_grabOffset);
        const int lowest = m_lowpass ? 1 : m_freqLow + 1;
        if (hz < lowest) hz = lowest;
        SetFreqHigh(hz);
    } else {
        ::SetCursor(HitTest(x, y) ? m_sizeCursor : m_arrowCursor);
    }
    Panel::DoOnMouseMove(keys, x, y);
}
