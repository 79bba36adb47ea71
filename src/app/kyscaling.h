#pragma once

// Display scaling, set before the application object exists: every window is
// laid out in logical pixels and drawn at the display's scale (125 % to
// 200 %), pictures from their 2x copies. Started with "--no-scaling" (or with
// QT_ENABLE_HIGHDPI_SCALING=0, which Qt honours itself), the program draws at
// 96-DPI pixel sizes as it used to.
void enableDisplayScaling(int argc, char *argv[]);

// How Qt rounds the scale factor the platform reports; per system
// (kyscaling_win.cpp, kyscaling_posix.cpp).
enum class KyScaleRounding { Exact, ToWhole };
KyScaleRounding platformScaleRounding();
