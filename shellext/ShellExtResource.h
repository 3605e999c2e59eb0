// Resource ids of KIVShellExt.dll.
#pragma once

#define IDS_PROJNAME 100
// A chosen command that could not be handed over to the program.
#define IDS_EARLIER_LIST_WAITING 101
#define IDS_CLIPBOARD_HELD 102
#define IDB_MENU 203
