#include "app/kyfontwarmup.h"

// Qt enumerates the system's fonts through GDI when the first text is laid
// out; nothing of it can be done on another thread beforehand.
void warmUpFontConfiguration()
{
}
