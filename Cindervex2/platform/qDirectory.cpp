#include "Cindervex2/platform/qDirectory.h"

#include <dirent.h>
#include <errno.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t kMaxComponents = 10;
constexpr size_t kListPathSize = 2048;

bool sMakeDirectory(const char* path, unsigned int mode)
{
    return mkdir(path, static_cast<mode_t>(mode)) == 0 || errno == EEXIST;
}

// Index just past the deepest existing ancestor of `path`, 0 when none exists.
size_t sCreationStart(const std::string& path)
{
    for (size_t cut = path.rfind('/'); cut != std::string::npos && cut > 0;
         cut = path.rfind('/', cut - 1)) {
        if (qDirectory_Exists(path.substr(0, cut).c_str()))
            return cut + 1;
    }
    return 0;
}

// Copies `text` into `buffer`; qErrOverrun when it had to be cut.
qErr sCopyCut(char* buffer, size_t size, const char* text)
{
    size_t length = strlen(text);
    bool cut = length > size - 1;
    if (cut)
        length = size - 1;
    memcpy(buffer, text, length);
    buffer[length] = '\0';
    return cut ? qErrOverrun : qErrNone;
}

} // namespace

bool qDirectory_Exists(const char* path)
{
    struct stat info;
    return path && stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

qErr qDirectory_Ensure(const char* path, unsigned int mode)
{
    if (!path || !*path)
        return qErrParam;
    if (qDirectory_Exists(path))
        return qErrNone;
    std::string copy = path;
    qErr result = qErrNone;
    for (size_t sep = copy.find('/', sCreationStart(copy)); sep != std::string::npos;
         sep = copy.find('/', sep + 1)) {
        // An absolute path's empty first prefix and doubled separators name nothing to make.
        if (sep == 0 || copy[sep - 1] == '/')
            continue;
        std::string prefix = copy.substr(0, sep);
        if (!qDirectory_Exists(prefix.c_str()) && !sMakeDirectory(prefix.c_str(), mode)) {
            result = qErrPermission;
            break;
        }
    }
    if (!qDirectory_Exists(path) && !sMakeDirectory(path, mode))
        result = qErrPermission;
    return result;
}

qErr qDirectory_List(const char* path, qDirectoryListCallback callback, void* userData)
{
    if (!path || !callback)
        return qErrParam;
    DIR* dir = opendir(path);
    if (!dir)
        return qErrNotFound;
    char full[kListPathSize];
    for (struct dirent* entry = readdir(dir); entry; entry = readdir(dir)) {
        struct stat info;
        if (qDirectory_JoinPath(full, sizeof full, path, entry->d_name) != qErrNone ||
            stat(full, &info) != 0)
            continue;
        qDirectoryListData data = {full, static_cast<uint32_t>(info.st_size), S_ISDIR(info.st_mode) ? 1 : 0};
        if (!callback(&data, userData))
            break;
    }
    closedir(dir);
    return qErrNone;
}

qErr qDirectory_Delete(const char* path)
{
    return path && rmdir(path) == 0 ? qErrNone : qErrUnknown;
}

qErr qDirectory_DeleteTree(const char* path)
{
    if (!path)
        return qErrParam;
    DIR* dir = opendir(path);
    if (!dir)
        return qErrNotFound;
    for (struct dirent* entry = readdir(dir); entry; entry = readdir(dir)) {
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0)
            continue;
        std::string child = std::string(path) + "/" + entry->d_name;
        struct stat info;
        // lstat: a link to a directory is removed as a link, never walked into.
        if (lstat(child.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            qDirectory_DeleteTree(child.c_str());
        } else if (unlink(child.c_str()) != 0) {
            printf("qDirectory_DeleteTree: %s\n", strerror(errno));
            printf("---error unlink-ing file [%s]\n", child.c_str());
            break;
        }
    }
    closedir(dir);
    return rmdir(path) == 0 ? qErrNone : qErrUnknown;
}

qErr qDirectory_CWD(char* buffer, size_t size)
{
    if (!buffer || size == 0 || !getcwd(buffer, size))
        return qErrParam;
    return qErrNone;
}

qErr qDirectory_ExecutableFilePath(char* buffer, size_t size)
{
    if (!buffer || size == 0)
        return qErrParam;
    ssize_t length = readlink("/proc/self/exe", buffer, size - 1);
    if (length < 0) {
        buffer[0] = '\0';
        return qErrRead;
    }
    buffer[length] = '\0';
    return qErrNone;
}

qErr qDirectory_GetHomeDirectory(char* buffer, size_t size)
{
    if (!buffer || size == 0)
        return qErrParam;
    buffer[0] = '\0';
    long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> scratch(hint > 0 ? static_cast<size_t>(hint) : 16384);
    struct passwd entry;
    struct passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, scratch.data(), scratch.size(), &found) == 0 && found &&
        found->pw_dir && *found->pw_dir)
        return sCopyCut(buffer, size, found->pw_dir);
    const char* home = getenv("HOME");
    if (home && *home)
        return sCopyCut(buffer, size, home);
    return qErrNotFound;
}

qErr qDirectory_JoinPath(char* buffer, size_t size, const char* a, const char* b)
{
    return qDirectory_BuildPath(buffer, size, a, b, static_cast<const char*>(nullptr));
}

qErr qDirectory_BuildPath(char* buffer, size_t size, const char* first, ...)
{
    if (!buffer || size == 0 || !first || buffer == first)
        return qErrParam;
    buffer[0] = '\0';
    const char* parts[kMaxComponents];
    size_t count = 0;
    va_list args;
    va_start(args, first);
    for (const char* part = va_arg(args, const char*); part; part = va_arg(args, const char*)) {
        if (part == buffer || count == kMaxComponents - 1) {
            va_end(args);
            return qErrParam;
        }
        parts[count++] = part;
    }
    va_end(args);

    size_t length = strlen(first);
    if (length >= size - 1)
        return qErrOverrun;
    memcpy(buffer, first, length + 1);
    for (size_t i = 0; i < count; ++i) {
        size_t space = size - length - 1;
        if (space > 1 && (length == 0 || buffer[length - 1] != '/') && parts[i][0] != '/') {
            buffer[length++] = '/';
            buffer[length] = '\0';
            --space;
        }
        size_t partLength = strlen(parts[i]);
        if (partLength >= space)
            return qErrOverrun;
        memcpy(buffer + length, parts[i], partLength + 1);
        length += partLength;
    }
    return qErrNone;
}
