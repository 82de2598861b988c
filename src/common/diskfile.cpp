// diskfile.cpp: telling a file on disk from a device by its handle.
#include "common/diskfile.h"

DiskFileCheck CheckDiskFile(HANDLE file) {
    // FILE_TYPE_UNKNOWN is an answer of its own as well as the failure's:
    // only the last error tells them apart, so it is cleared first.
    SetLastError(NO_ERROR);
    DWORD type = GetFileType(file);
    if (type == FILE_TYPE_DISK) {
        return DISK_FILE;
    }
    if (type == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR) {
        return DISK_CHECK_FAILED;
    }
    return NOT_DISK_FILE;
}
