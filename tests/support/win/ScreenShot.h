// Screenshots of the test's screen (the Wine virtual desktop under Xvfb),
// kept as BMP files beside the test program for a person to look at.
#pragma once
#include "framework/Afx.h"

// Saves the whole screen as "screenshots\<name>.bmp" under the current
// folder (made when missing); false when nothing could be written.
bool SaveScreenShot(const CString& name);
// The colour of one screen pixel.
COLORREF ScreenPixel(int x, int y);
