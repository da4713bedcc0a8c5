#pragma once
#include "app/UpdaterDisplayInterface.h"

/* Prints the version line, "Updater (Version: ...)", at info level. */
void _display_app_version(UpdaterDisplayInterface& display);

/* Prints the rights notice line at info level. */
void _display_notice(UpdaterDisplayInterface& display);

/* Writes the usage text to standard error: the short block always; with `full` the
 * parameters, commands and samples; with `full` and `extended` the extended block too. */
void _display_usage(bool extended, bool full);
