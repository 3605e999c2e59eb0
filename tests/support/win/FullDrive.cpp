#include "FullDrive.h"
#include <string>

CString FullDriveRoot() {
    char drive[8];
    DWORD n = GetEnvironmentVariableA("KIV_FULL_DRIVE", drive, sizeof drive);
    if (n == 0 || n >= sizeof drive) return CString();
    return CString(drive) + L"\\";
}

CDriveFiller::CDriveFiller(const CString& strFiller) : m_strFiller(strFiller) {
    CFile f(strFiller, CFile::modeCreate | CFile::modeWrite);
    // Large blocks first, then single bytes for the last free cluster.
    std::string block(64 * 1024, 'x');
    try {
        for (;;) f.Write(block.data(), (UINT)block.size());
    } catch (CFileException* e) {
        e->Delete();
    }
    try {
        for (;;) f.Write("x", 1);
    } catch (CFileException* e) {
        e->Delete();
    }
}

CDriveFiller::~CDriveFiller() { DeleteFileW(m_strFiller); }
