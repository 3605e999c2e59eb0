// The user's application-data folder where Windows does not build it from
// the logon name: the folder C:\Users\<login>\AppData\Roaming renamed away
// (as for a renamed account, a Microsoft account or a moved folder), and a
// place registered where the shell keeps the folder (HKCU "User Shell
// Folders" and "Shell Folders", value AppData; Wine's SHGetFolderPathW
// reads the first and writes the second). Both are put back when the object
// goes. No program of the folder may run while it is moved.
#pragma once
#include "framework/Afx.h"

class MovedAppData {
public:
    // bMove: the login-built folder is renamed to MovedTo(). strRegistered:
    // the place the shell is to name; empty: MovedTo().
    MovedAppData(bool bMove, const CString& strRegistered = CString());
    ~MovedAppData();
    // The folder was moved as asked and the place registered.
    bool Ready() const { return m_bReady; }
    // C:\Users\<login>\AppData\Roaming.
    const CString& LoginFolder() const { return m_strLogin; }
    // Where the login-built folder is moved: beside it, "Roaming moved".
    const CString& MovedTo() const { return m_strMoved; }
    const CString& Registered() const { return m_strRegistered; }

private:
    struct Saved {
        bool bPresent = false;
        DWORD dwType = 0;
        CString strData;
    };
    static Saved Read(LPCWSTR pszKey);
    static bool Write(LPCWSTR pszKey, const Saved& value);

    CString m_strLogin, m_strMoved, m_strRegistered;
    Saved m_user, m_shell;
    bool m_bMoved = false, m_bReady = false;
};
