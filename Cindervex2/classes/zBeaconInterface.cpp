#include "Cindervex2/classes/zBeaconInterface.h"

#include <arpa/inet.h>
#include <czmq.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

namespace {

constexpr size_t kBackupSize = 100;

std::mutex& sGuard()
{
    static std::mutex guard;
    return guard;
}

// The thread holding the guard, so that an unlock by anyone else is ignored instead of
// releasing a mutex it does not own.
std::atomic<std::thread::id> sHolder;

char sBackup[kBackupSize]; // guarded by sGuard()

void sLock()
{
    sGuard().lock();
    sHolder.store(std::this_thread::get_id());
}

bool sHeldByMe() { return sHolder.load() == std::this_thread::get_id(); }

bool sValidText(const char* text)
{
    in_addr ignored{};
    return text && (text[0] == '\0' || strcmp(text, "*") == 0 ||
                    inet_pton(AF_INET, text, &ignored) == 1);
}

// CZMQ frees its current text before copying the new one: a caller that passes the
// current text (from zBeaconInterface_get) would have it freed under its feet.
void sSetInterface(const char* text)
{
    std::string copy(text);
    zsys_set_interface(copy.c_str());
}

} // namespace

bool zBeaconInterface_setAndLock(const char* text)
{
    if (!sValidText(text))
        return false;
    sLock();
    sSetInterface(text);
    return true;
}

void zBeaconInterface_unlock()
{
    if (!sHeldByMe())
        return;
    sHolder.store(std::thread::id());
    sGuard().unlock();
}

bool zBeaconInterface_backupSetAndLock(const char* text)
{
    if (!sValidText(text))
        return false;
    sLock();
    snprintf(sBackup, sizeof sBackup, "%s", zsys_interface());
    sSetInterface(text);
    return true;
}

void zBeaconInterface_restoreAndUnlock()
{
    if (!sHeldByMe())
        return;
    zsys_set_interface(sBackup);
    zBeaconInterface_unlock();
}

const char* zBeaconInterface_get() { return zsys_interface(); }

const char* zBeaconInterface_getAndLock()
{
    sLock();
    return zsys_interface();
}

const char* zBeaconInterface_getBackup() { return sBackup; }

const char* zBeaconInterface_getBackupAndLock()
{
    sLock();
    return sBackup;
}
