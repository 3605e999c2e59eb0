// The shell's item-ID lists: free, concatenate, and turn into a path. Lists
// handed out here come from the shell's allocator; free them with
// FreeItemIdList.
#pragma once
#include "framework/Afx.h"
#include <shlobj.h>

// Frees a list with the shell's allocator; a null list is fine. 0 only when
// the allocator is missing.
BOOL FreeItemIdList(LPITEMIDLIST pidl);
// A new list: the items of the first, then those of the second and one
// terminator (a null list counts as empty). Null when the allocator or the
// allocation fails. The inputs are neither changed nor freed.
LPITEMIDLIST ConcatItemIdLists(LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2);
// The file-system path of the list; empty for a virtual item (the computer
// folder, the control panel) or any failure.
CString ItemIdListToPath(LPCITEMIDLIST pidl);
