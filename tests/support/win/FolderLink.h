// A symbolic link to a folder, made as another program on the machine would
// make it. Wine's CreateSymbolicLinkW reports success and makes nothing, so
// the host's own ln makes the link (Wine starts host programs); Wine then
// shows it as a folder with the reparse-point attribute, as Windows shows a
// junction. Removed again, the link only, when the object goes: declare it
// after the folders it lives in, whose removal would follow it.
#pragma once
#include "framework/Afx.h"

class FolderLink {
public:
    FolderLink(const CString& strTarget, const CString& strLink);
    ~FolderLink();
    // The link is there and shows as a link to a folder.
    bool Made() const;
    const CString& Path() const { return m_strLink; }

private:
    CString m_strLink;
};
