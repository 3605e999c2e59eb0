// Resource ids of KIVShellExt.dll.
#pragma once

#define IDS_PROJNAME 100
#define IDB_MENU 203
