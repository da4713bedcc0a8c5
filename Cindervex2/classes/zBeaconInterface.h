#pragma once
// Process-wide guard around CZMQ's global network-interface setting, which the beacon search
// and a sharing server's beacon both change. Whoever locks the guard sets the interface,
// creates its beacon and unlocks; the lock is held by one thread at a time.

/* Locks the guard and sets the interface to `text` (a dotted IPv4 address, "" or "*").
 * Any other text (or null) returns false without locking: do not unlock then. */
bool zBeaconInterface_setAndLock(const char* text);

/* Releases the guard; does nothing when the calling thread does not hold it. */
void zBeaconInterface_unlock();

/* As zBeaconInterface_setAndLock, but first saves the current setting for
 * zBeaconInterface_restoreAndUnlock. */
bool zBeaconInterface_backupSetAndLock(const char* text);

/* Restores the setting saved by zBeaconInterface_backupSetAndLock and releases the guard;
 * does nothing when the calling thread does not hold it. */
void zBeaconInterface_restoreAndUnlock();

/* The current setting (the second form also locks the guard). The text belongs to CZMQ and
 * stays valid until the setting changes. */
const char* zBeaconInterface_get();
const char* zBeaconInterface_getAndLock();

/* The saved setting, "" before any backup (the second form also locks the guard). */
const char* zBeaconInterface_getBackup();
const char* zBeaconInterface_getBackupAndLock();
