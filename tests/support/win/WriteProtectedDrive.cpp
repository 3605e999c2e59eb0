#include "WriteProtectedDrive.h"

namespace {

CString DriveRoot(const char* pszVariable) {
    char drive[8];
    DWORD n = GetEnvironmentVariableA(pszVariable, drive, sizeof drive);
    if (n == 0 || n >= sizeof drive) return CString();
    return CString(drive) + L"\\";
}

}  // namespace

CString WriteProtectedRoot() { return DriveRoot("KIV_WP_DRIVE"); }

CString WriteProtectedFillRoot() { return DriveRoot("KIV_WP_FILL"); }

CString WriteProtectedFillPath(const CString& strPath) {
    CString strFill = WriteProtectedFillRoot();
    if (strFill.IsEmpty() || strPath.GetLength() < 3) return CString();
    return strFill + strPath.Mid(3);
}
