// The paths of a dropped-file block (DROPFILES and its path list, as
// CF_HDROP data or a WM_DROPFILES handle). The block comes from whatever
// program dropped it, and the system's own readers walk its list without a
// bound, so every reader of the program goes through this one check.
#pragma once
#include "framework/Win.h"
#include <vector>

// The block's paths, in list order, read only within the block's real size
// (GlobalSize). FALSE, and no paths, when the block is not a sound one:
// smaller than its header, its list starting inside the header or past the
// end, or a path or the list itself not terminated inside the block. A
// sound list of no paths gives TRUE and an empty list.
BOOL ReadDroppedFiles(HGLOBAL hDrop, std::vector<CString>& paths);
