// The module whose resources (strings, dialogs, animations) the program uses.
#pragma once
#include "../Types.h"

HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE hInst);
