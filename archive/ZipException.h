// The archive exception: which side threw, the archive's path and a cause.
// Thrown as a heap pointer; the catcher calls Delete().
#pragma once
#include "framework/Afx.h"

class CZipException : public CException {
    DECLARE_DYNAMIC(CZipException)
public:
    enum {
        generic = 1,     // any code not listed below, 0 included
        streamEnd,       // zlib 1
        needDict,        // zlib 2
        errNo,           // zlib -1
        streamError,     // zlib -2
        dataError,       // zlib -3
        memError,        // zlib -4
        bufError,        // zlib -5
        versionError,    // zlib -6
        badParameter,    // ARC_BAD_PARAMETER
        badArchive,      // ARC_BAD_ARCHIVE
        badCrc,          // ARC_CRC_MISMATCH
    };

    CZipException(const CString& strFileName, int iCause, bool bZipFile);
    ~CZipException() override;

    // Maps an archive or zlib code to a cause above.
    static int CodeToCause(int code);

    bool m_bZipFile;          // TRUE: thrown by the writer
    CString m_strFileName;    // full path of the archive; empty when it was not open
    int m_iCause;
};

// Throws new CZipException(strFileName, CodeToCause(code), bZipFile).
[[noreturn]] void ThrowZipException(const CString& strFileName, int code, bool bZipFile);
