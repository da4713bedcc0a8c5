#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Cindervex2/platform/qPlatform.h"

struct qFile {
    uint16_t tag;
    FILE* stream;
    int mode;
};

static bool sValid(const qFile* file) { return file && file->tag == qFILE_TAG; }
static bool sReadable(const qFile* file) { return file->mode != qFileModeWrite; }
static bool sWritable(const qFile* file) { return file->mode != qFileModeRead; }
static bool sPathOk(const char* path) { return path && path[0] && strnlen(path, qFILE_PATH_MAX + 1) <= qFILE_PATH_MAX; }

qFile* qFile_Open(const char* path, int mode) {
    static const char* const kModes[] = {"rb", "wb", "ab+"};
    if (!sPathOk(path) || mode < qFileModeRead || mode > qFileModeAppend) return nullptr;
    qFile* file = static_cast<qFile*>(calloc(1, sizeof(qFile)));
    if (!file) return nullptr;
    file->stream = fopen(path, kModes[mode]);
    if (!file->stream || (mode == qFileModeAppend && fseeko(file->stream, 0, SEEK_END) != 0)) {
        if (file->stream) fclose(file->stream);
        free(file);
        return nullptr;
    }
    file->mode = mode;
    file->tag = qFILE_TAG;
    return file;
}

qErr qFile_Close(qFile** file) {
    if (!file) return qErrParam;
    qFile* closing = *file;
    *file = nullptr;
    if (!sValid(closing)) return qErrParam;
    closing->tag = 0;
    int result = fclose(closing->stream);
    free(closing);
    return result == 0 ? qErrNone : qErrIO;
}

qErr qFile_Read(qFile* file, void* buffer, size_t count, size_t* read) {
    if (!sValid(file) || (!buffer && count > 0)) return qErrParam;
    if (!sReadable(file)) return qErrMode;
    size_t got = count ? fread(buffer, 1, count, file->stream) : 0;
    if (read) *read = got;
    if (got == 0 && count > 0) return ferror(file->stream) ? qErrIO : qErrEOF;
    return qErrNone;
}

qErr qFile_Write(qFile* file, const void* data, size_t count, size_t* written) {
    if (!sValid(file) || (!data && count > 0)) return qErrParam;
    if (!sWritable(file)) return qErrMode;
    size_t put = count ? fwrite(data, 1, count, file->stream) : 0;
    if (written) *written = put;
    return put == count ? qErrNone : qErrIO;
}

qErr qFile_GetSize(qFile* file, int64_t* size) {
    if (!sValid(file) || !size) return qErrParam;
    *size = 0;
    off_t saved = ftello(file->stream);
    if (saved < 0 || fseeko(file->stream, 0, SEEK_END) != 0) return qErrIO;
    off_t end = ftello(file->stream);
    if (fseeko(file->stream, saved, SEEK_SET) != 0 || end < 0) return qErrIO;
    *size = end;
    return qErrNone;
}

qErr qFile_GetPosition(qFile* file, int64_t* position) {
    if (!sValid(file) || !position) return qErrParam;
    off_t at = ftello(file->stream);
    if (at < 0) return qErrIO;
    *position = at;
    return qErrNone;
}

qErr qFile_Seek(qFile* file, int64_t offset, int origin) {
    if (!sValid(file) || origin < 0 || origin > 2) return qErrParam;
    int64_t size = 0;
    int64_t at = 0;
    if (qFile_GetSize(file, &size) != qErrNone || qFile_GetPosition(file, &at) != qErrNone) return qErrIO;
    int64_t base = origin == 0 ? 0 : origin == 1 ? at : size;
    // Checked without overflow: the target must lie within 0 ... size.
    if (offset < -base || offset > size - base) return qErrRange;
    return fseeko(file->stream, base + offset, SEEK_SET) == 0 ? qErrNone : qErrIO;
}

qErr qFile_ReadLine(qFile* file, char* buffer, size_t size, size_t* length) {
    if (!sValid(file) || !buffer || size < 2 || size > INT32_MAX) return qErrParam;
    if (!sReadable(file)) return qErrMode;
    if (!fgets(buffer, static_cast<int>(size), file->stream)) {
        buffer[0] = '\0';
        if (length) *length = 0;
        return ferror(file->stream) ? qErrIO : qErrEOF;
    }
    size_t stored = strlen(buffer);
    if (length) *length = stored;
    if (stored == size - 1 && buffer[stored - 1] != '\n') {
        // A full buffer without newline was cut, unless the file simply ends there.
        int next = fgetc(file->stream);
        if (next == EOF) return ferror(file->stream) ? qErrIO : qErrNone;
        ungetc(next, file->stream);
        return qErrOverrun;
    }
    return qErrNone;
}

qErr qFile_Printf(qFile* file, const char* format, ...) {
    if (!sValid(file) || !format) return qErrParam;
    if (!sWritable(file)) return qErrMode;
    va_list arguments;
    va_start(arguments, format);
    int result = vfprintf(file->stream, format, arguments);
    va_end(arguments);
    return result < 0 ? qErrIO : qErrNone;
}

qErr qFile_SetUnbuffered(qFile* file) {
    if (!sValid(file)) return qErrParam;
    if (!sWritable(file) || setvbuf(file->stream, nullptr, _IONBF, 0) != 0) return qErrMode;
    return qErrNone;
}

bool qFile_Exists(const char* path) {
    struct stat info;
    return sPathOk(path) && stat(path, &info) == 0 && !S_ISDIR(info.st_mode);
}

qErr qFile_Delete(const char* path) {
    if (!path) return qErrParam;
    if (strnlen(path, qFILE_PATH_MAX + 1) > qFILE_PATH_MAX) return qErrFileNameLength;
    if (unlink(path) == 0) return qErrNone;
    switch (errno) {
    case ENOENT:
        return qErrNotFound;
    case EACCES:
    case EPERM:
        return qErrPermission;
    default:
        return qErrIO;
    }
}
