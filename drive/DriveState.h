// What the program knows and says of the state of a drive it writes to:
// whether a refused write means the medium is write-protected, and the
// texts that name that state, a password file another program holds and
// what stands in the password file's place.
// The tasks, the password dialog and the start-up all stand on it.
#pragma once
#include "framework/Afx.h"

// A write to strPath failed with dwError because its drive takes no writes:
// the error says so, or it is an access denied on a drive that reports
// itself read-only or, removable, whose root takes no new file either (a
// locked card can be reported that way). FALSE for an empty path.
BOOL IsWriteProtected(const CString& strPath, DWORD dwError);

// "The drive G: is write-protected..." for the drive of strPath.
CString WriteProtectedText(const CString& strPath);
// "The password file ... is in use by another program..."
CString PwdFileInUseText(const CString& strPwdFile);

// What stands in the password file's way, said: a folder where the file
// belongs, or a file where its folder belongs. Either way the file can be
// neither read nor made there, which is no damage to any password. Empty
// when neither stands there.
CString PwdPathBlockedText(const CString& strPwdFile);
