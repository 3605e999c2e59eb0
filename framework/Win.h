// Everything the Windows program uses of the framework.
#pragma once
#include "Afx.h"
#include "win/Module.h"
#include "win/Wnd.h"
#include "win/Gdi.h"
#include "win/DataExchange.h"
#include "win/Dialog.h"
#include "win/Controls.h"
#include "win/WinApp.h"
#include "win/MessageBox.h"
#include "win/FileFind.h"
#include "win/OleDateTime.h"
