#pragma once
#include <string>

/* The record a directory search fills. */
struct result_t {
    bool found = false;
    std::string target;          /* the entry name searched for, matched exactly */
    bool directoryOnly = false;  /* only a directory of that name counts */
    bool isDirectory = false;    /* kind of the entry found */
};

/* Searches the directory `path` for the entry `result.target`, logging each entry seen
 * (DEBUG_Updater) and then "UpdaterStore: FindDevice Found|Not Found <target>.". A missing
 * or unreadable directory counts as no match. Returns result.found. */
bool StoreSearch_Find(const std::string& path, result_t& result);
