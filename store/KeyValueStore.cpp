#include "store/KeyValueStore.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "Cindervex2/platform/qPlatform.h"
#include "app/Log.h"
#include "store/AtomicFile.h"

namespace {

constexpr size_t kLineSize = 2048;

std::string sNow()
{
    time_t now = time(nullptr);
    char text[32] = {};
    if (!ctime_r(&now, text))
        return {};
    text[strcspn(text, "\n")] = '\0';
    return text;
}

bool sSpace(char c)
{
    return isspace(static_cast<unsigned char>(c)) != 0;
}

/* A key that would not read back as itself: "#" in column 1 makes a comment. */
bool sKeyOk(const char* key)
{
    if (!key || !key[0] || key[0] == '#' || strpbrk(key, "=\r\n"))
        return false;
    return !sSpace(key[0]) && !sSpace(key[strlen(key) - 1]);
}

/* Reads on to the end of a line that did not fit the buffer. False at end of file. */
bool sSkipRestOfLine(qFile* file, char* buffer)
{
    size_t length = 0;
    qErr err;
    do {
        err = qFile_ReadLine(file, buffer, kLineSize, &length);
    } while (err == qErrOverrun);
    return err == qErrNone;
}

} // namespace

KeyValueStore::KeyValueStore(const char* fileName)
{
    if (fileName)
        Load(fileName);
}

const char* KeyValueStore::operator[](const char* key) const
{
    if (!key)
        return nullptr;
    auto it = entries.find(key);
    return it == entries.end() ? nullptr : it->second.c_str();
}

std::string* KeyValueStore::Lookup(const char* key)
{
    if (!sKeyOk(key))
        return nullptr;
    std::string* value = &entries[key];  // insert-on-access, not a change
    return value->empty() ? nullptr : value;
}

int KeyValueStore::GetInt(const char* key, int defaultValue)
{
    std::string* value = Lookup(key);
    return value ? atoi(value->c_str()) : defaultValue;
}

uint32_t KeyValueStore::GetHex(const char* key, uint32_t defaultValue)
{
    std::string* value = Lookup(key);
    return value ? static_cast<uint32_t>(strtoul(value->c_str(), nullptr, 16)) : defaultValue;
}

bool KeyValueStore::GetBOOL(const char* key, bool defaultValue)
{
    std::string* value = Lookup(key);
    return value ? atoi(value->c_str()) != 0 : defaultValue;
}

double KeyValueStore::GetDouble(const char* key, double defaultValue)
{
    std::string* value = Lookup(key);
    return value ? atof(value->c_str()) : defaultValue;
}

std::string KeyValueStore::GetString(const char* key, const char* defaultValue) const
{
    const char* value = (*this)[key];
    return value ? value : (defaultValue ? defaultValue : "");
}

bool KeyValueStore::Set(const char* key, std::string value)
{
    if (!sKeyOk(key) || value.find_first_of("\r\n") != std::string::npos)
        return false;
    std::string& held = entries[key];
    if (held != value) {
        held = std::move(value);
        dirty = true;
    }
    return true;
}

bool KeyValueStore::Add(const char* key, int value)
{
    return Set(key, std::to_string(value));
}

bool KeyValueStore::Add(const char* key, double value)
{
    char text[512];
    snprintf(text, sizeof text, "%f", value);
    return Set(key, text);
}

bool KeyValueStore::AddHex(const char* key, uint32_t value)
{
    char text[16];
    snprintf(text, sizeof text, "0x%08X", value);
    return Set(key, text);
}

bool KeyValueStore::Add(const char* key, const char* value)
{
    return Set(key, value ? value : "");
}

bool KeyValueStore::Add(const char* key, const std::string& value)
{
    return Set(key, value);
}

bool KeyValueStore::Add(const KeyValueStore& other)
{
    for (const auto& [key, value] : other.entries) {
        entries[key] = value;
        dirty = true;
    }
    return true;
}

bool KeyValueStore::Clear()
{
    entries.clear();
    dirty = true;
    return true;
}

void KeyValueStore::ParseLine(const char* line, size_t length)
{
    if (length < 3 || line[0] == '#')
        return;
    const char* end = line + length;
    const char* key = line;
    while (key < end && sSpace(*key))
        ++key;
    const char* eq = static_cast<const char*>(memchr(key, '=', static_cast<size_t>(end - key)));
    if (!eq)
        return;
    const char* keyEnd = eq;
    while (keyEnd > key && sSpace(keyEnd[-1]))
        --keyEnd;
    if (keyEnd == key)
        return;
    const char* value = eq + 1;
    while (value < end && sSpace(*value))
        ++value;
    const char* valueEnd = end;
    while (valueEnd > value && sSpace(valueEnd[-1]))
        --valueEnd;
    entries[std::string(key, keyEnd)] = std::string(value, valueEnd);
}

qErr KeyValueStore::Load(const char* fileName)
{
    if (!fileName)
        return qErrParam;
    qFile* file = qFile_Open(fileName, qFileModeRead);
    if (!file) {
        int error = errno;
        Log::log(DEBUG_Attributes, "Attibutes: Error - cannot open attributes file: '%s' (%d)\n", fileName, error);
        // Only a file that is not there is made anew; one we cannot read is left alone.
        if (error != ENOENT) {
            filePath = fileName;
            unreadablePath = fileName;
            return qErrRead;
        }
        Add(KEY_CREATED_TIME, sNow());
        Save(fileName);
        return qErrParam;
    }
    filePath = fileName;
    unreadablePath.clear();
    dirty = false;
    char line[kLineSize];
    size_t length = 0;
    for (;;) {
        qErr err = qFile_ReadLine(file, line, sizeof line, &length);
        if (err == qErrOverrun) {
            Log::log(DEBUG_Attributes, "Attibutes: skipping a line longer than %zu bytes in '%s'\n", kLineSize - 1,
                     fileName);
            if (!sSkipRestOfLine(file, line))
                break;
            continue;
        }
        if (err != qErrNone)
            break;
        ParseLine(line, length);
    }
    qFile_Close(&file);
    return qErrNone;
}

qErr KeyValueStore::Save(const char* fileName)
{
    if (fileName) {
        filePath = fileName;
    } else if (filePath.empty()) {
        filePath = DEFAULT_FILENAME;
        Log::log(DEBUG_Attributes, "Attibutes: no filename given for attributes, using default:[%s]\n",
                 filePath.c_str());
    }
    if (filePath == unreadablePath) {
        Log::log(DEBUG_Attributes, "Attibutes: Error - not replacing unreadable attributes file: '%s'\n",
                 filePath.c_str());
        return qErrRead;
    }
    if (dirty)
        Add(KEY_UPDATED_TIME, sNow());
    std::string text;
    for (const auto& [key, value] : entries)
        text += key + "=" + value + "\n";
    qErr err = AtomicFile_Write(filePath.c_str(), text.data(), text.size());
    if (err != qErrNone) {
        Log::log(DEBUG_Attributes, "Attibutes: Error - cannot open attributes file for writting: '%s' (%d)\n",
                 filePath.c_str(), errno);
        return err;
    }
    dirty = false;
    return qErrNone;
}
