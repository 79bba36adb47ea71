#include "app/kyscaling.h"

// On X11 the factor Qt derives comes from Xft.dpi when the desktop sets it,
// else from the monitor's physical size: 100 DPI on Xvfb, 91 to 110 on
// common monitors, which would draw every window at 0.95 or 1.04 with
// blurred edges. Rounded to a whole number that noise vanishes, whole
// factors (2 for a desktop at 192 DPI) keep every line and picture
// pixel-exact, and a fractional scale stays possible: QT_SCALE_FACTOR and
// QT_SCREEN_SCALE_FACTORS, which desktops that scale by fractions set, are
// applied unrounded.
KyScaleRounding platformScaleRounding()
{
    return KyScaleRounding::ToWhole;
}
