#pragma once
// Command numbers (data[0] of a packet) that the device library sends itself.

#define cmdSYSTEM 3   /* system entity class, UEI */
#define cmdSLOT 4     /* store slots */
#define cmdI2C 8      /* I2C entity class, raw packets */
#define cmdDEBUG 23   /* echo test */
#define cmdINFO 73    /* capability and build queries */
#define cmdSTREAM 93  /* stream control, UEI */
#define cmdFACTORY 94 /* factory data */
