#include "KIVApp.h"

// No application name: the framework takes the title from string 57344.
CKIVApp::CKIVApp()
    : CWinApp(nullptr), m_bRegistered(FALSE), m_bVista(FALSE), m_ppShellSources(nullptr),
      m_ppShellTargets(nullptr), m_nShellCount(0), m_nShellHeader(0) {}

CKIVApp::~CKIVApp() {}

CString CKIVApp::GetDrivePath() const { return m_strDrivePath; }
