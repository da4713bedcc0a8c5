#pragma once
#include <cstdint>

#include "app/Parameters.h"
#include "app/UpdaterDisplayInterface.h"

/* Fills `out` from the command line (argv is rearranged: stray words go behind the
 * options). Rejected values are reported on `display` at error level. Returns 0 when the
 * command line was accepted, 1 when an option was rejected; a help option returns 0 at
 * once, leaving later options unread. Scanner errors are ignored: the option has no effect. */
int _get_params(UpdaterDisplayInterface& display, int argc, char** argv, Parameters* out);

/* `text` as hexadecimal when every character is a hex digit and the value fits 32 bits
 * (leading zeros allowed; the empty text gives 0); otherwise 0. `end`, when not null,
 * receives the end of the conversion. */
uint32_t _get_hex_arg(const char* text, char** end);

/* `text` as decimal, cut to 32 bits, when every character is a digit; otherwise 0. */
uint32_t _get_int_arg(const char* text, char** end);
