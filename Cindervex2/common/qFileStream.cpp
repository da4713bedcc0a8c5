// File stream kinds: an input stream over a file opened for reading, an output stream over
// a file opened for writing. The stream owns the file and closes it when destroyed.
#include "Cindervex2/common/qStream.h"
#include "Cindervex2/platform/qPlatform.h"

static qErr sGet(uint8_t* byte, void* reference) {
    return qFile_Read(static_cast<qFile*>(reference), byte, 1, nullptr);
}

static qErr sWrite(const uint8_t* data, uint32_t count, void* reference) {
    return qFile_Write(static_cast<qFile*>(reference), data, count, nullptr);
}

static qErr sPut(const uint8_t* byte, void* reference) { return sWrite(byte, 1, reference); }

static qErr sDelete(void* reference) {
    qFile* file = static_cast<qFile*>(reference);
    return qFile_Close(&file);
}

static qErr sCreate(const char* path, int mode, qStream** stream) {
    if (!path || !stream) return qErrResource;
    *stream = nullptr;
    qFile* file = qFile_Open(path, mode);
    if (!file) return qErrResource;
    qStream* made = mode == qFileModeRead ? qStream_Create(sGet, nullptr, nullptr, sDelete, file)
                                          : qStream_Create(nullptr, sPut, sWrite, sDelete, file);
    if (!made) {
        qFile_Close(&file);
        return qErrResource;
    }
    *stream = made;
    return qErrNone;
}

qErr qStream_CreateFileInput(const char* path, qStream** stream) { return sCreate(path, qFileModeRead, stream); }

qErr qStream_CreateFileOutput(const char* path, qStream** stream) { return sCreate(path, qFileModeWrite, stream); }
