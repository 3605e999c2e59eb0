// Ids of the explorer window's resources (res/explorer.rc) and of the
// commands its menus, toolbar and accelerators send.
#pragma once

// Menus, toolbar with its bitmap, accelerators and document string 128.
#define IDR_MAINFRAME 128
#define IDR_SYSTEMTRAY 136
#define IDR_LIST_CONTEXT 137
#define IDD_ABOUTBOX 100

// The program's own commands; each has a prompt of the same id except
// collapse-or-up (sent by nothing), Compress and Decompress.
#define ID_BACK_TO_PARENT 101
#define ID_COLLAPSE_OR_UP 102
#define ID_SHOW_HIDE 32775
#define ID_NEW_FOLDER 32777
#define ID_RENAME 32778
#define ID_DELETE 32779
#define ID_REFRESH 32780
#define ID_TOGGLE_ANIMATION 32781
#define ID_SET_DEFAULT_PATH 32783
#define ID_APP_EXIT_KIV 32786
#define ID_CHANGE_PASSWORD 32789
#define ID_COMPRESS 32792
#define ID_DECOMPRESS 32793
#define ID_INDICATOR_FREESPACE 59142

#define IDS_ERROR_CREATING 114
#define IDS_CANNOT_CREATE 119
#define IDS_NEW_FOLDER 120
#define IDS_RENAME 122
#define IDS_BAD_NAME_CHARS 123
#define IDS_FILE_TYPE 124
#define IDS_NEED_FILE_NAME 141
#define IDS_COL_NAME 130
#define IDS_COL_SIZE 131
#define IDS_COL_TYPE 132
#define IDS_COL_MODIFIED 133
#define IDS_DEFAULT_DIRECTORY 174
#define IDS_ALREADY_RUNNING 178
#define IDS_CANNOT_DELETE 1002
#define IDS_FREE_SPACE 59142

// The framework's ids that these resources and the program use, spelt as
// the framework spells them, so either header may come first.
#ifndef RT_TOOLBAR
#define RT_TOOLBAR MAKEINTRESOURCE(241)
#endif
#ifndef AFX_IDS_IDLEMESSAGE
#define AFX_IDS_IDLEMESSAGE 0xE001
#endif
#ifndef ID_FILE_NEW
#define ID_FILE_NEW 0xE100
#endif
#ifndef ID_FILE_OPEN
#define ID_FILE_OPEN 0xE101
#endif
#ifndef ID_APP_ABOUT
#define ID_APP_ABOUT 0xE140
#endif
#ifndef ID_NEXT_PANE
#define ID_NEXT_PANE 0xE150
#endif
#ifndef ID_PREV_PANE
#define ID_PREV_PANE 0xE151
#endif
#ifndef ID_VIEW_TOOLBAR
#define ID_VIEW_TOOLBAR 0xE800
#endif
#ifndef ID_VIEW_STATUS_BAR
#define ID_VIEW_STATUS_BAR 0xE801
#endif
#ifndef ID_VIEW_SMALLICON
#define ID_VIEW_SMALLICON 0xE810
#endif
#ifndef ID_VIEW_LARGEICON
#define ID_VIEW_LARGEICON 0xE811
#endif
#ifndef ID_VIEW_LIST
#define ID_VIEW_LIST 0xE812
#endif
#ifndef ID_VIEW_DETAILS
#define ID_VIEW_DETAILS 0xE813
#endif
#ifndef ID_VIEW_LINEUP
#define ID_VIEW_LINEUP 0xE814
#endif
#ifndef ID_VIEW_BYNAME
#define ID_VIEW_BYNAME 0xE815
#endif
