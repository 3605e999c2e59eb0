// Placeholder handlers: until the real ones exist, these task types fail
// as an unknown type does.
#include "fileops/FileTask.h"

int CFileTask::DoCompressDir(CString strSrc, CString strDst) { return TASK_ERROR; }
int CFileTask::DoCompressFile(CString strSrc, CString strDst) { return TASK_ERROR; }
