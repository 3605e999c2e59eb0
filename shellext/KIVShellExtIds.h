// The module's four identifiers. The interface, the class and the type
// library come from the interface definition (the generated header); the
// application identifier is only used by the registry entries.
#pragma once
#include <windows.h>
#include "KIVShellExt_h.h"

// {F0D53E9B-7665-483E-8181-D3E82669CD9B}
static const GUID APPID_KIVShellExt =
    {0xf0d53e9b, 0x7665, 0x483e, {0x81, 0x81, 0xd3, 0xe8, 0x26, 0x69, 0xcd, 0x9b}};
