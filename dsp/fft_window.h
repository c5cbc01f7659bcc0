// Window functions applied in place before a transform (the IF spectrum) and to FIR designs.
#pragma once

// The window kinds, numbered as the settings and the setup window store them.
enum WindowType {
    kWindowRectangular = 0,
    kWindowHanning = 1,
    kWindowHamming = 2,
    kWindowBlackman = 3,
    kWindowFlatTop = 4,
    kWindowBartlettHanning = 5,
    kWindowBartlett = 6,
    kWindowBlackmanHarris = 7,
    kWindowBohman = 8,
    kWindowGaussian = 9,
    kWindowTriangular = 10,
};

class CFftWindow {
public:
    virtual ~CFftWindow() = default;

    // Multiplies data[0..n-1] by the n-point window of the given kind.
    // Returns 1 when applied, 0 (data unchanged) when data is null, n < 1 or kind is not 0..10.
    // Kind 0 leaves the data as it is. A one-point window of any kind is the weight 1.
    static int Apply(int kind, float* data, int n);
    static int ApplyDouble(int kind, double* data, int n);
    // data holds n/2 interleaved complex values; the real part of value k is multiplied by
    // weight 2k of the n-point window.
    static int ApplyComplex(int kind, float* data, int n);

    // Weight i (0 <= i < n) of the n-point window; 1 for an unknown kind.
    static double Weight(int kind, int i, int n);

    static int GetCount() { return 11; }
    // Copies the kind's name ("N/A" for an unknown kind) into buffer, truncated to size - 1
    // characters and always NUL-terminated when size >= 1; returns the name's full length.
    static int GetName(int kind, char* buffer, int size);
};
