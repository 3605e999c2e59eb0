#include "KIVDoc.h"

IMPLEMENT_DYNCREATE(CKIVDoc, CDocument)

BOOL CKIVDoc::OnNewDocument() { return CDocument::OnNewDocument(); }
