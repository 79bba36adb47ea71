#include "app/kyfontwarmup.h"

#include <fontconfig/fontconfig.h>

// Qt's font database starts with FcInit when the first text is laid out:
// fontconfig reads its configuration files and the font caches (about a
// seventh of the program's processor time up to the first paint). FcInit
// is safe on any thread and done once per process; what it loads is the
// configuration Qt's own call then finds in place.
void warmUpFontConfiguration()
{
    FcInit();
}
