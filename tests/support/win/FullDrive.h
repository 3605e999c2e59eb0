// The small drive that the test environment maps for full-disk tests
// (KIV_FULL_DRIVE, such as F:), filled up to its last byte.
#pragma once
#include "framework/Afx.h"

// The drive's root with its backslash (F:\); empty when the environment has
// no such drive (the tests that need it are skipped then).
CString FullDriveRoot();

// Fills the drive of the file given with that file for as long as it lives.
class CDriveFiller {
public:
    explicit CDriveFiller(const CString& strFiller);
    ~CDriveFiller();

private:
    CString m_strFiller;
};
