#pragma once
#include <cstddef>
#include <cstdint>

#include "Cindervex2/common/qErr.h"

/* One entry handed to a qDirectory_List callback; valid only during the call. */
typedef struct qDirectoryListData {
    const char* path;  /* listed directory, "/", entry name */
    uint32_t size;     /* size in bytes, low 32 bits */
    int isDirectory;   /* nonzero for a directory */
} qDirectoryListData;

/* Called once per entry; return false to stop the listing. */
typedef bool (*qDirectoryListCallback)(const qDirectoryListData* entry, void* userData);

/* True when `path` is not null and names an existing directory (symlinks followed). */
bool qDirectory_Exists(const char* path);

/* Creates `path` and every missing parent with `mode`. An existing directory is fine.
 * qErrParam for a null or empty path; qErrPermission when a directory could not be made. */
qErr qDirectory_Ensure(const char* path, unsigned int mode);

/* Calls `callback` for every entry of the directory `path`, "." and ".." included, in the
 * order the system returns them. Entries that cannot be examined, or whose full path does
 * not fit 2048 bytes, are skipped. Stops when the callback returns false.
 * qErrParam for a null path or callback; qErrNotFound when `path` cannot be opened. */
qErr qDirectory_List(const char* path, qDirectoryListCallback callback, void* userData);

/* Removes the empty directory `path`. qErrUnknown when it cannot be removed. */
qErr qDirectory_Delete(const char* path);

/* Removes `path` and everything below it. A symbolic link is removed, never followed.
 * When an entry cannot be removed, prints the reason to standard output and stops going
 * through the entries. Returns the result of removing `path` itself (qErrNone or
 * qErrUnknown); qErrNotFound when `path` cannot be opened. */
qErr qDirectory_DeleteTree(const char* path);

/* Copies the current working directory into `buffer`.
 * qErrParam when it does not fit `size` bytes or cannot be read. */
qErr qDirectory_CWD(char* buffer, size_t size);

/* Copies the absolute path of the running program into `buffer`, cut to size - 1
 * characters. qErrParam for a null buffer or size 0; qErrRead when it cannot be read. */
qErr qDirectory_ExecutableFilePath(char* buffer, size_t size);

/* Copies the current user's home directory into `buffer`: the user database's entry, or
 * else the environment variable HOME. Copies at most size - 1 characters and always
 * terminates the text. qErrParam for a null buffer or size 0; qErrOverrun when the text
 * had to be cut; qErrNotFound when neither source gives a non-empty directory. */
qErr qDirectory_GetHomeDirectory(char* buffer, size_t size);

/* qDirectory_BuildPath with the two components `a` and `b`. */
qErr qDirectory_JoinPath(char* buffer, size_t size, const char* a, const char* b);

/* Joins `first` and the further components (ended by a null pointer) into `buffer`,
 * adding "/" between two components only when neither side already has one.
 * At most 10 components in all. qErrParam for a null buffer or first, size 0, more than
 * 10 components, or a component that is `buffer` itself; qErrOverrun when `first` has
 * size - 1 characters or more, or when a component does not fit (the buffer then keeps
 * what was joined so far). */
qErr qDirectory_BuildPath(char* buffer, size_t size, const char* first, ...);
