// A pair of paths: the old name and new full path of a renamed item, or a
// dragged file and the drag folder it goes to.
#pragma once
#include "framework/Afx.h"

struct SourceMap {
    CString first;
    CString second;
};
