#pragma once
#include <functional>
#include <memory>

#include "app/UpdaterDisplayInterface.h"
#include "updater/Updater.h"

/* Makes the Updater a run uses, bound to the server address, the store directory and the
 * display. */
using UpdaterFactory =
    std::function<std::unique_ptr<Updater>(const char* serverAddress, const char* storeDirectory,
                                           UpdaterDisplayInterface& display)>;

/* One invocation of the program: reads the command line, prints the version line (and the
 * usage when asked or when no command is given), prepares the store directory, then runs
 * -N, -G and the first of -D, -U, -B, -L, -J on an Updater from `makeUpdater`.
 * Returns the exit code, 0 or 1. argv is rearranged as the option scanner does. */
int RunUpdater(int argc, char** argv, UpdaterDisplayInterface& display, const UpdaterFactory& makeUpdater);
