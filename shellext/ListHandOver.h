// The hand-over of the clipboard path list "KIV_MUTLIFILES_FORMAT" from the
// shell extension to the program it starts, shared by both.
//
// Two commands chosen in a row would otherwise meet on the one clipboard:
// the second list replaces the first before the first program has read it.
// So the module writes a list only once the one before it is taken, and the
// program takes its list as the first thing it does:
// - a list is waiting while it has at least one entry and the record beside
//   it (format "KIV_MULTIFILES_HANDOVER") belongs to it: the record names
//   the list's size and hash, the command it is for, and, once it runs,
//   the program that is to take it;
// - the program takes a list by putting the taken list (the format's own
//   layout with no entry, which every reader of the format reads as an
//   empty list) in its place; only the two formats are touched, so whatever
//   else another program put on the clipboard since stays;
// - a list without its record (written by an older module, or by another
//   program) is read as before and never waited for;
// - a waiting list whose program has ended, or that was written long ago
//   and never got a program, will not be taken by anyone: it is not waited
//   for either.
// The list's layout itself is unchanged: lists written before are read.
#pragma once
#include <windows.h>
#include <cstring>

namespace handover {

const WCHAR kListFormat[] = L"KIV_MUTLIFILES_FORMAT";
const WCHAR kRecordFormat[] = L"KIV_MULTIFILES_HANDOVER";

// The list left in place of a taken one: header 7 (the units in use: six
// header units and the terminator), no entry, the terminator, the spare unit.
const WORD kTakenList[8] = {7, 0, 0, 0, 0, 0, 0, 0};

// The commands a record is for (the values of the program's ShellListMode).
const DWORD kCommandCompress = 1;
const DWORD kCommandUncompress = 2;

// How long a list whose program has not been named yet can still be waiting
// for its start; after that its writer is taken to have died before it.
const ULONGLONG kUnstartedLifeMs = 20000;

const DWORD kRecordMagic = 0x4856494B;  // "KIVH"

struct Record {
    DWORD magic;
    DWORD size;       // sizeof(Record)
    DWORD command;    // kCommandCompress or kCommandUncompress
    DWORD listBytes;  // GlobalSize of the list block
    DWORD listHash;   // ListHash of those bytes
    DWORD writer;     // the writing process and its serial: tell two
    DWORD serial;     // writes of the same list apart
    DWORD pid;        // the started program; 0 before it runs
    FILETIME written;  // system time the list was written
    FILETIME started;  // the program's creation time (with pid)
};

// FNV-1a over the bytes: ties a record to the list it was written with.
inline DWORD ListHash(const BYTE* p, SIZE_T cb)
{
    DWORD h = 2166136261u;
    for (SIZE_T i = 0; i < cb; ++i) h = (h ^ p[i]) * 16777619u;
    return h;
}

// The size and hash of a clipboard block; false when it cannot be read.
inline bool BlockHash(HANDLE hBlock, DWORD& cb, DWORD& hash)
{
    if (hBlock == nullptr) return false;
    SIZE_T size = GlobalSize(hBlock);
    const BYTE* p = static_cast<const BYTE*>(GlobalLock(hBlock));
    if (p == nullptr) return false;
    bool ok = size <= 0xFFFFFFFFu;
    if (ok) {
        cb = static_cast<DWORD>(size);
        hash = ListHash(p, size);
    }
    GlobalUnlock(hBlock);
    return ok;
}

// The number of entries a list block claims (units 4 and 5); 0 for a block
// too short to say, and for the taken list.
inline UINT ListCount(HANDLE hList)
{
    if (hList == nullptr || GlobalSize(hList) < 6 * sizeof(WORD)) return 0;
    const WORD* u = static_cast<const WORD*>(GlobalLock(hList));
    if (u == nullptr) return 0;
    UINT count = static_cast<UINT>(u[4]) + static_cast<UINT>(u[5]) * 256;
    GlobalUnlock(hList);
    return count;
}

// The record on the clipboard that belongs to the list block hList: any
// program can put a block under the record's name, so only one of the exact
// size and magic, naming a known command and this very list, counts.
inline bool RecordOfList(HANDLE hRecord, HANDLE hList, Record& out)
{
    if (hRecord == nullptr || GlobalSize(hRecord) != sizeof(Record)) return false;
    const Record* r = static_cast<const Record*>(GlobalLock(hRecord));
    if (r == nullptr) return false;
    out = *r;
    GlobalUnlock(hRecord);
    if (out.magic != kRecordMagic || out.size != sizeof(Record)) return false;
    if (out.command != kCommandCompress && out.command != kCommandUncompress) return false;
    DWORD cb = 0, hash = 0;
    return BlockHash(hList, cb, hash) && cb == out.listBytes && hash == out.listHash;
}

// A shareable block holding a copy of the bytes; nullptr when none can be made.
inline HGLOBAL NewBlock(const void* p, SIZE_T cb)
{
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, cb);
    void* q = h != nullptr ? GlobalLock(h) : nullptr;
    if (q == nullptr) {
        if (h != nullptr) GlobalFree(h);
        return nullptr;
    }
    memcpy(q, p, cb);
    GlobalUnlock(h);
    return h;
}

// Puts the taken list in place of the list on the open clipboard.
inline bool MarkTaken(UINT listFormat)
{
    HGLOBAL h = NewBlock(kTakenList, sizeof kTakenList);
    if (h == nullptr) return false;
    if (SetClipboardData(listFormat, h) == nullptr) {
        GlobalFree(h);
        return false;
    }
    return true;
}

// Opens the clipboard without an owner window, waiting up to timeoutMs for
// another program that holds it for a moment.
inline bool OpenClipboardWithin(DWORD timeoutMs)
{
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        if (OpenClipboard(nullptr)) return true;
        if (GetTickCount64() - start >= timeoutMs) return false;
        Sleep(20);
    }
}

}  // namespace handover
