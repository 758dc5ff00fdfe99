// Plain value types for the code that runs without a window system. They have
// the layout of the Win32 POINT, SIZE and RECT (32-bit signed members), so the
// Win32 side can pass them through unchanged.
#pragma once
#include <cstdint>

struct Point32 {
    int32_t x;
    int32_t y;
};

struct Size32 {
    int32_t cx;
    int32_t cy;
};

// Right and bottom are exclusive, as GetWindowRect reports them.
struct Rect32 {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

inline bool operator==(Point32 a, Point32 b) {
    return a.x == b.x && a.y == b.y;
}
inline bool operator==(Rect32 a, Rect32 b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
