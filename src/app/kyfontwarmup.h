#pragma once

// Work on the system's font configuration that the first line of text of the
// window needs and that can run on a thread of its own while the window is
// built. Where the platform's font database reads the system's fonts itself
// when it is first asked (Windows), there is nothing to do beforehand.
void warmUpFontConfiguration();
