#include "store/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace {

bool sWriteAll(int fd, const char* data, size_t length)
{
    while (length > 0) {
        ssize_t n = write(fd, data, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

/* Makes the rename itself durable; a failure here loses nothing already in place. */
void sSyncDirectory(const std::string& path)
{
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

} // namespace

qErr AtomicFile_Write(const char* path, const void* data, size_t length)
{
    if (!path || !path[0] || (!data && length > 0))
        return qErrParam;
    std::string target = path;
    // A leading dot: a temporary file left by a crash is never listed as a build.
    size_t slash = target.rfind('/');
    size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    std::string temp = target.substr(0, nameAt) + "." + target.substr(nameAt) + ".tmp-XXXXXX";
    int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return qErrNotFound;
    struct stat old {};
    mode_t mode = stat(path, &old) == 0 ? (old.st_mode & 07777) : 0644;
    bool ok = fchmod(fd, mode) == 0 && sWriteAll(fd, static_cast<const char*>(data), length) && fsync(fd) == 0;
    int saved = ok ? 0 : errno;
    // A failed close can be the first report of a failed write.
    if (close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok) {
        if (rename(temp.c_str(), path) == 0) {
            sSyncDirectory(target);
            return qErrNone;
        }
        saved = errno;
    }
    unlink(temp.c_str());
    errno = saved;
    return qErrWrite;
}
