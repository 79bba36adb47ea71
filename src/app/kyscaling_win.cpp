#include "app/kyscaling.h"

// Windows names the user's choice exactly (120 DPI is 125 %): 150 % is 1.5,
// not 2. The windows are laid out in pixels, so only the exact factor gives
// them the size the display asks for.
KyScaleRounding platformScaleRounding()
{
    return KyScaleRounding::Exact;
}
