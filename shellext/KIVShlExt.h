// CKIVShlExt: the shell's context-menu handler for every file. It offers
// "Auto Compress KVF files" and "Auto Decompress KVF files", puts the
// selected paths on the clipboard as "KIV_MUTLIFILES_FORMAT" and starts the
// program named by the KVF file type's open command with "compress" or
// "uncompress".
#pragma once
#include <windows.h>
#include <shlobj.h>
#include "shellext/KIVShellExtIds.h"
#include "shellext/ListHandOver.h"

enum SelectionKind {
    SELECTION_MIXED = 0,     // some paths end in ".kvf", some do not
    SELECTION_PLAIN = 1,     // none ends in ".kvf"
    SELECTION_ARCHIVES = 2,  // all end in ".kvf"
};

// The longest path the clipboard list carries, in UTF-16 units.
const UINT SHELL_PATH_MAX = 520;

// How long a chosen command waits for the list of the one before it to be
// taken by its program, or for another program to let the clipboard go.
const DWORD HANDOVER_WAIT_MS = 5000;

// The hand-overs that are given up, and told: the list of the command
// before is still waiting for its program, or the clipboard stayed held.
const HRESULT KIV_E_EARLIER_LIST_WAITING = HRESULT_FROM_WIN32(ERROR_BUSY);
const HRESULT KIV_E_CLIPBOARD_HELD = HRESULT_FROM_WIN32(ERROR_CLIPBOARD_NOT_OPEN);

// One selected path as the clipboard list carries it, length + 2 units:
// unit 0 = length & 0xFF, unit 1 = length >> 8, then the characters without
// a terminator.

class CKIVShlExt final : public IKIVShlExt, public IShellExtInit, public IContextMenu {
public:
    // Makes an object and hands out riid of it through *ppv.
    static HRESULT Create(REFIID riid, void** ppv);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IShellExtInit: reads the selection from the data object's CF_HDROP.
    STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE pidlFolder, IDataObject* pdtobj, HKEY hkeyProgID) override;

    // IContextMenu
    STDMETHODIMP QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT uFlags) override;
    STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* pici) override;
    STDMETHODIMP GetCommandString(UINT_PTR idCmd, UINT uType, UINT* pReserved, CHAR* pszName, UINT cchMax) override;

    // The kind of one path: SELECTION_ARCHIVES when it is longer than five
    // characters and ends in ".kvf" in any letter case, else SELECTION_PLAIN.
    static SelectionKind GetPathKind(const WCHAR* path, UINT length);
    // Fills entry, which has room for length + 2 units, from path (terminated,
    // at most SHELL_PATH_MAX characters); returns the units used
    // (length + 2), 0 when either pointer is null.
    static UINT BuildPathEntry(WORD* entry, const WCHAR* path);
    // The program's path from the open command's text: the quoted part, or
    // the text up to a ".exe" (any letter case) followed by a blank or the
    // end, or else the whole text. False when nothing fits into cch.
    static bool ProgramFromOpenCommand(const WCHAR* command, WCHAR* program, size_t cch);

private:
    CKIVShlExt();
    ~CKIVShlExt();

    // Writes the list, built from the held block (checked once more), to
    // the clipboard; a failure leaves the previous clipboard content or an
    // empty clipboard, never a partial list. With a command (a program will
    // be started to take the list) the list is written only once the list
    // of an earlier command is taken, with its hand-over record (filled in
    // *pRecord); KIV_E_EARLIER_LIST_WAITING or KIV_E_CLIPBOARD_HELD when
    // that did not come within HANDOVER_WAIT_MS.
    HRESULT PutPathsOnClipboard(DWORD command, handover::Record* pRecord);
    // Writes the list block, and the record when there is one, once the
    // clipboard holds no list that is still waiting; the block is the
    // clipboard's afterwards, or freed.
    HRESULT HandOver(HGLOBAL hList, const handover::Record* pRecord);
    // Starts the program with the parameters. Started: its process is noted
    // in the list's record, so that later commands wait only while it may
    // still take the list. Not started: the list is taken back.
    void StartProgram(const WCHAR* params, handover::Record& record);
    // Tells the user why the command was not handed over.
    static void SayNotHandedOver(HWND hwnd, HRESULT hr);
    // Sets m_szProgram from HKCR "KVFile\shell\open\command".
    HRESULT ReadOpenCommand();
    void FreePathEntries();
    void FreeMenuBitmap();

    volatile LONG m_cRef;
    HBITMAP m_hMenuBitmap;
    // The selection's dropped-file block as the data object handed it out,
    // checked and held until an entry is chosen (TYMED_NULL without one):
    // the shell asks on every right-click, so nothing is copied for a menu
    // that is never used.
    STGMEDIUM m_selection;
    UINT m_nPaths;
    UINT m_nTotalUnits;  // the clipboard list's entries: sum of (length + 2)
    WCHAR m_szProgram[MAX_PATH + 1];
    SelectionKind m_nSelKind;
};
