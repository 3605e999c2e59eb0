// The clipboard path list "KIV_MUTLIFILES_FORMAT" as the shell extension
// writes it, for the tests of its reader and of the runs that read it.
#pragma once
#include "framework/Afx.h"
#include <vector>

// Header (units in use), count, then each path as length and characters,
// a zero unit, and the spare unit the writer leaves.
std::vector<WORD> MakeShellList(const std::vector<CString>& paths);
// Puts the block on the clipboard under the format; an empty block only
// empties the clipboard. FALSE when the clipboard could not be opened.
BOOL PutShellListBlock(const std::vector<WORD>& units);
