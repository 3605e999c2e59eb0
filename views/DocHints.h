// The numbered notices the views exchange through the document's
// UpdateAllViews. The payload's type is given with each hint; it lives only
// while the hint is handled.
#pragma once

enum DocHint {
    HINT_SHOW_FOLDER = 1,      // CString*: full path of the folder to show
    HINT_OPEN_SUBFOLDER = 2,   // CString*: name of a sub-folder of the selected folder
    HINT_DRIVE_REMOVED = 5,    // CString*: path of the removed drive
    HINT_VOLUME_ARRIVED = 6,   // CString*: drive root of an arrived volume
    HINT_VOLUME_REMOVED = 7,   // CString*: drive root of a removed volume
    HINT_REFRESH_FOLDER = 8,   // none
    HINT_ITEM_DELETED = 9,     // CString*: name of the deleted file or folder
    HINT_FOLDER_UPDATED = 10,  // CString*: full path of a changed folder
    HINT_ITEM_CREATED = 11,    // CString*: full path of the new file or folder
    HINT_ITEM_RENAMED = 12,    // SourceMap*: old name, new full path
    HINT_GO_UP = 13,           // none
};
