#pragma once
#include "app/CSimpleOptTempl.h"

// Option ids of g_rgOptions.
enum OptionId {
    OPT_HELP = 0,    /* -h, -H, --help */
    OPT_COMMAND = 1, /* sets a command bit, or -OVERRIDE */
    OPT_PARAM = 2,   /* sets a parameter */
};

/* The program's option table, ended by a row with id -1. */
extern const SOption g_rgOptions[];
