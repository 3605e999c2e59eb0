// The names of a dropped-file block (DROPFILES and its list), as CF_HDROP
// hands a selection over. The block comes from another program, and the
// system's own reader walks the list from its start for every name and
// trusts it to end, so the module reads it here instead: once, front to
// back, and never past the block's real size.
#pragma once
#include <windows.h>
#include <shlobj.h>

class CDropFileList {
public:
    enum Result {
        DROP_NAME,       // a name was read
        DROP_END,        // the empty name that ends the list
        DROP_MALFORMED,  // the header or the list does not fit into the block
        DROP_TOO_LONG,   // the name does not fit into the caller's buffer
    };

    // cb: the block's size as GlobalSize gives it.
    CDropFileList(const BYTE* block, SIZE_T cb);

    // Reads the next name as UTF-16 (narrow names in the system's code page,
    // as the shell reads them) into name, which has room for cch units with
    // the terminator; *length is its length without it. After anything but
    // DROP_NAME every later call gives the same result again.
    Result Next(WCHAR* name, UINT cch, UINT* length);

private:
    const BYTE* m_block;
    SIZE_T m_cb;
    SIZE_T m_at;    // where the next name starts
    SIZE_T m_unit;  // bytes per character: 2 wide, 1 narrow
    Result m_stop;  // DROP_NAME while the list goes on
};
