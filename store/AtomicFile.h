#pragma once
#include <cstddef>

#include "Cindervex2/common/qErr.h"

/* Replaces the file `path` with `length` bytes of `data` so that a crash or a failure at
 * any moment leaves either the old file or the new one, never a torn one: the bytes go to
 * a temporary file in the same directory, which is flushed to disk, checked (every byte
 * written, the close succeeded) and then renamed over `path`. On failure the temporary
 * file is removed, the old file is untouched and errno tells why.
 * Returns qErrNone; qErrParam for a null path, or null data with a nonzero length;
 * qErrNotFound when the temporary file cannot be created (missing or unwritable
 * directory); qErrWrite when writing, flushing, closing or renaming fails.
 * A new file gets mode 0644; a replaced file keeps its mode. */
qErr AtomicFile_Write(const char* path, const void* data, size_t length);
