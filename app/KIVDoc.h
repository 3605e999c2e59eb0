// CKIVDoc: no data of its own; the hub through which the tree and the list
// exchange their hints.
#pragma once
#include "framework/Win.h"

class CKIVDoc : public CDocument {
    DECLARE_DYNCREATE(CKIVDoc)
public:
    BOOL OnNewDocument() override;
};
