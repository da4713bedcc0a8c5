#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "Cindervex2/common/qErr.h"

/* A small persistent dictionary kept as KEY=VALUE lines (the ".settings" attributes file
 * of a module directory). Keys are ordered by byte value; a changed flag tells whether a
 * save must refresh UPDATED_TIME. Saving replaces the file atomically. */
class KeyValueStore {
public:
    static constexpr const char* DEFAULT_FILENAME = ".settings";
    static constexpr const char* KEY_CREATED_TIME = "CREATED_TIME";
    static constexpr const char* KEY_UPDATED_TIME = "UPDATED_TIME";

    /* An empty store; loads `fileName` when it is not null. */
    explicit KeyValueStore(const char* fileName = nullptr);

    /* The value of `key`, or null when absent. Valid until the entry changes. */
    const char* operator[](const char* key) const;

    /* The four numeric getters convert like atoi, strtoul(16) cut to 32 bits, atoi != 0
     * and atof. An absent key is added with an empty value (without marking the store
     * changed), so a later Save writes "KEY="; an absent or empty value gives the default. */
    int GetInt(const char* key, int defaultValue);
    uint32_t GetHex(const char* key, uint32_t defaultValue);
    bool GetBOOL(const char* key, bool defaultValue);
    double GetDouble(const char* key, double defaultValue);
    /* The stored value (even when empty), else `defaultValue` ("" for null). Adds nothing. */
    std::string GetString(const char* key, const char* defaultValue) const;

    /* Setters: store the text ("%d", "%f", "0x%08X" or as given) and mark the store
     * changed when it differs from the text held before. Return false, changing nothing,
     * for a key that is null, empty, begins with "#", holds "=", CR or LF or begins or
     * ends with white space, or for a value holding CR or LF (it would forge a line of
     * its own). */
    bool Add(const char* key, int value);
    bool Add(const char* key, double value);
    bool AddHex(const char* key, uint32_t value);
    bool Add(const char* key, const char* value);
    bool Add(const char* key, const std::string& value);
    /* Copies every entry of `other` in, replacing values; marks the store changed for
     * every copied entry. */
    bool Add(const KeyValueStore& other);
    /* Removes every entry and marks the store changed. */
    bool Clear();

    /* Reads `fileName` into the store (existing entries are kept or replaced).
     * qErrNone after reading. A missing file (ENOENT) is created with CREATED_TIME and
     * UPDATED_TIME and gives qErrParam. Any other open failure gives qErrRead and leaves
     * the file alone: a later Save refuses to replace it. A line too long for the
     * 2048-byte buffer is skipped and reading goes on. */
    qErr Load(const char* fileName);
    /* Writes every entry as "%s=%s\n" in key order, replacing the file atomically, after
     * setting UPDATED_TIME when the store changed. `fileName` null means the file last
     * loaded or saved, else DEFAULT_FILENAME in the working directory.
     * qErrNone, the store then unchanged; qErrWrite or qErrNotFound when the file could
     * not be written (the old file stays, the store stays changed); qErrRead when the
     * target is a file Load could not read. */
    qErr Save(const char* fileName = nullptr);

    /* True when a value changed since the last load or save. */
    bool IsDirty() const { return dirty; }
    /* The file last loaded or saved; empty before. */
    const std::string& FilePath() const { return filePath; }
    /* Every entry, in key order. */
    const std::map<std::string, std::string>& Entries() const { return entries; }

private:
    bool Set(const char* key, std::string value);
    std::string* Lookup(const char* key);
    void ParseLine(const char* line, size_t length);

    std::string filePath;
    std::map<std::string, std::string> entries;
    bool dirty = false;
    std::string unreadablePath;
};
