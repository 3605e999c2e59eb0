// CAboutDlg: the about box, run from the Help menu and the tray menu.
#pragma once
#include "framework/Win.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg();
};
