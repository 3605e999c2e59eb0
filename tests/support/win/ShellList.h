// The clipboard path list "KIV_MUTLIFILES_FORMAT" as the shell extension
// writes it, for the tests of its reader and of the runs that read it.
#pragma once
#include "framework/Afx.h"
#include "shellext/ListHandOver.h"
#include <vector>

// Header (units in use), count, then each path as length and characters,
// a zero unit, and the spare unit the writer leaves.
std::vector<WORD> MakeShellList(const std::vector<CString>& paths);
// Puts the block on the clipboard under the format; an empty block only
// empties the clipboard. FALSE when the clipboard could not be opened.
BOOL PutShellListBlock(const std::vector<WORD>& units);

// The list a program leaves in place of the list it took.
std::vector<WORD> TakenShellList();
// The list block under the format on the clipboard (empty: none).
std::vector<WORD> ClipboardShellList();

// How the test's hand-over record is to read: the command, the program
// that is to take the list (0: none named yet, then the record is as old as
// ageMs) and its start.
struct HandOverSpec {
    DWORD command = handover::kCommandCompress;
    DWORD pid = 0;
    FILETIME started = {};
    ULONGLONG ageMs = 0;
};
// Empties the clipboard and puts the list on it with a record that belongs
// to it, as the shell extension writes them. FALSE when the clipboard could
// not be opened.
BOOL PutShellHandOver(const std::vector<WORD>& units, const HandOverSpec& spec);

// Chooses a menu entry of the shell extension module strDll as the desktop
// shell does: a new handler of its class, the selection as a dropped-file
// list, the menu, then the entry (offset 0 compress, 1 decompress). The
// module stays loaded. The invocation's result.
HRESULT ChooseShellCommand(const CString& strDll, const std::vector<CString>& paths, UINT offset);
