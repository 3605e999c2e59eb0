#include "shellext/DropFileList.h"
#include <climits>
#include <cstring>

CDropFileList::CDropFileList(const BYTE* block, SIZE_T cb)
    : m_block(block), m_cb(cb), m_at(0), m_unit(1), m_stop(DROP_MALFORMED)
{
    if (block == nullptr || cb < sizeof(DROPFILES)) return;
    DROPFILES df;
    memcpy(&df, block, sizeof df);
    if (df.pFiles < sizeof(DROPFILES) || df.pFiles > cb) return;
    m_at = df.pFiles;
    m_unit = df.fWide ? sizeof(WCHAR) : 1;
    m_stop = DROP_NAME;
}

CDropFileList::Result CDropFileList::Next(WCHAR* name, UINT cch, UINT* length)
{
    if (m_stop != DROP_NAME) return m_stop;
    // The name's terminator must lie inside the block.
    SIZE_T end = m_at;
    for (;; end += m_unit) {
        if (m_cb - end < m_unit) return m_stop = DROP_MALFORMED;
        if (m_block[end] == 0 && (m_unit == 1 || m_block[end + 1] == 0)) break;
    }
    const BYTE* text = m_block + m_at;
    const SIZE_T units = (end - m_at) / m_unit;
    if (units == 0) return m_stop = DROP_END;
    if (name == nullptr || cch == 0) return m_stop = DROP_TOO_LONG;

    UINT wide = 0;
    if (m_unit == 1) {
        if (units > INT_MAX) return m_stop = DROP_TOO_LONG;
        const LPCSTR narrow = reinterpret_cast<LPCSTR>(text);
        const int n = MultiByteToWideChar(CP_ACP, 0, narrow, static_cast<int>(units), nullptr, 0);
        if (n <= 0) return m_stop = DROP_MALFORMED;
        if (static_cast<UINT>(n) >= cch) return m_stop = DROP_TOO_LONG;
        wide = static_cast<UINT>(MultiByteToWideChar(CP_ACP, 0, narrow, static_cast<int>(units), name, n));
        if (wide != static_cast<UINT>(n)) return m_stop = DROP_MALFORMED;
    } else {
        if (units >= cch) return m_stop = DROP_TOO_LONG;
        wide = static_cast<UINT>(units);
        // The list may start at an odd offset: copied, not read in place.
        memcpy(name, text, units * sizeof(WCHAR));
    }
    name[wide] = 0;
    if (length != nullptr) *length = wide;
    m_at = end + m_unit;
    return DROP_NAME;
}
