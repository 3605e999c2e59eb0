// CPwdEdit: a password box that lets only letters, digits and editing keys
// through; any other key beeps and produces no character.
#pragma once
#include "framework/Win.h"

class CPwdEdit : public CEdit {
public:
    BOOL PreTranslateMessage(MSG* pMsg) override;
};
