// The card reader that the test environment maps (KIV_CARD_DRIVE, such as
// I:): a removable drive whose medium is the folder "card" in its slot
// folder (KIV_CARD_SLOT, reached through Z:). Moving that folder away takes
// the card out: the letter stays and its root cannot be reached, as a
// reader's letter without a card.
#pragma once
#include "framework/Afx.h"

// The reader's root with its backslash (I:\); empty when the environment
// has no reader (the tests that need it are skipped then).
CString CardReaderRoot();

// Takes the card out for as long as it lives, and puts it back.
class CCardTakenOut {
public:
    CCardTakenOut();
    ~CCardTakenOut();
    BOOL IsOut() const { return m_bOut; }

private:
    CString m_strCard, m_strOut;
    BOOL m_bOut;
};
