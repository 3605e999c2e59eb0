#include "ZipException.h"
#include "ArchiveFormat.h"

IMPLEMENT_DYNAMIC(CZipException, CException)

CZipException::CZipException(const CString& strFileName, int iCause, bool bZipFile)
    : CException(TRUE), m_bZipFile(bZipFile), m_strFileName(strFileName), m_iCause(iCause) {}

CZipException::~CZipException() {}

int CZipException::CodeToCause(int code) {
    switch (code) {
    case 1: return streamEnd;
    case 2: return needDict;
    case -1: return errNo;
    case -2: return streamError;
    case -3: return dataError;
    case -4: return memError;
    case -5: return bufError;
    case -6: return versionError;
    case ARC_BAD_PARAMETER: return badParameter;
    case ARC_BAD_ARCHIVE: return badArchive;
    case ARC_CRC_MISMATCH: return badCrc;
    default: return generic;
    }
}

void ThrowZipException(const CString& strFileName, int code, bool bZipFile) {
    throw new CZipException(strFileName, CZipException::CodeToCause(code), bZipFile);
}
