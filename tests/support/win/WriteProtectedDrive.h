// The write-protected removable drive that the test environment maps
// (KIV_WP_DRIVE, such as G:: a locked card), and the fixed drive onto the
// same folder (KIV_WP_FILL, such as H:) through which a test puts files on it.
#pragma once
#include "framework/Afx.h"

// The drive's root with its backslash (G:\); empty when the environment has
// no such drive (the tests that need it are skipped then).
CString WriteProtectedRoot();

// The writable root that shows the same files (H:\); empty as above.
CString WriteProtectedFillRoot();

// The same path on the writable drive: G:\a\b.txt gives H:\a\b.txt.
CString WriteProtectedFillPath(const CString& strPath);
