// The small drive that the test environment maps for full-disk tests
// (KIV_FULL_DRIVE, such as F:), filled up to its last byte.
#pragma once
#include "framework/Afx.h"
#include <string>

// The drive's root with its backslash (F:\); empty when the environment has
// no such drive (the tests that need it are skipped then).
CString FullDriveRoot();

// The drive's allocation unit in bytes (0 when it cannot be read): a file
// grows into the unit it already holds without taking free space.
DWORD AllocationUnit(const CString& strRoot);

// A password file's bytes 6 bytes short of a whole allocation unit: lines
// of "oldpw1", then of the current "current99". Once the drive is full only
// the first 6 bytes of a new line fit.
std::string PwdHistoryShortOfUnit(DWORD nUnit);

// Fills the drive of the file given with that file for as long as it lives.
class CDriveFiller {
public:
    explicit CDriveFiller(const CString& strFiller);
    ~CDriveFiller();

private:
    CString m_strFiller;
};
