#include "FullDrive.h"
#include <string>

CString FullDriveRoot() {
    char drive[8];
    DWORD n = GetEnvironmentVariableA("KIV_FULL_DRIVE", drive, sizeof drive);
    if (n == 0 || n >= sizeof drive) return CString();
    return CString(drive) + L"\\";
}

DWORD AllocationUnit(const CString& strRoot) {
    DWORD nSectors = 0, nBytes = 0, nFree = 0, nTotal = 0;
    if (!GetDiskFreeSpaceW(strRoot, &nSectors, &nBytes, &nFree, &nTotal)) return 0;
    return nSectors * nBytes;
}

std::string PwdHistoryShortOfUnit(DWORD nUnit) {
    const std::string older = "b2xkcHcx\n";       // oldpw1: 9 bytes
    const std::string current = "Y3VycmVudDk5\n";  // current99: 13 bytes
    const size_t nLength = nUnit - 6;
    size_t nCurrent = 1;
    while ((nLength - 13 * nCurrent) % 9 != 0) ++nCurrent;
    std::string bytes;
    for (size_t i = 0; i < (nLength - 13 * nCurrent) / 9; ++i) bytes += older;
    for (size_t i = 0; i < nCurrent; ++i) bytes += current;
    return bytes;
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
