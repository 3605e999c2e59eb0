// CCommandLineInfo: what the framework's parser found on the command line.
#pragma once
#include "../Afx.h"

class CCommandLineInfo {
public:
    enum { FileNew, FileOpen, FilePrint, FilePrintTo, FileDDE, AppRegister, AppUnregister, FileNothing = -1 };

    CCommandLineInfo() : m_nShellCommand(FileNew) {}
    virtual ~CCommandLineInfo() {}

    // One argument: a switch (without its '-' or '/') or a parameter. The
    // first parameter is the file to open.
    virtual void ParseParam(LPCTSTR pszParam, BOOL bFlag, BOOL bLast);

    int m_nShellCommand;
    CString m_strFileName;
};
