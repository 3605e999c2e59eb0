// Placeholder handlers: until the real ones exist, these task types fail
// as an unknown type does.
#include "fileops/FileTask.h"

int CFileTask::DoCopyFile(CString strSrc, CString strDst) { return TASK_ERROR; }
int CFileTask::DoCopyDir(CString strSrc, CString strDst) { return TASK_ERROR; }
int CFileTask::DoDeleteFile(CString strSrc, CString strDst) { return TASK_ERROR; }
int CFileTask::DoDeleteDir(CString strSrc, CString strDst) { return TASK_ERROR; }
