// Pictures of windows for the run command and the README: a window as it shows on the screen,
// with everything its children drew, written as PNG through zlib.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testbed {

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;  // rows top down, 3 bytes a pixel

    // The part of this picture of `whole` that `part` covers.
    Picture Crop(HWND whole, HWND part) const;
    // More than one colour: a window that painted nothing has one.
    bool HasContent() const;
};

// Repaints the window and its children now, then copies its rectangle from the screen.
Picture CaptureWindow(HWND window);
bool WritePng(const std::string& path, const Picture& picture);

}  // namespace testbed
