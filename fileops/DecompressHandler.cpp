// Placeholder handlers: until the real ones exist, these task types fail
// as an unknown type does.
#include "fileops/FileTask.h"

int CFileTask::DoDecompressDir(CString strSrc, CString strDst) { return TASK_ERROR; }
int CFileTask::DoDecompressFile(CString strSrc, CString strDst) { return TASK_ERROR; }
