#pragma once

/* The emulated USB bus reaches only a process that runs with umockdev's preload library.
 * Runs this program again, with the same arguments, under umockdev-wrapper unless that
 * already happened; ASan is told to accept the preload library ahead of its runtime.
 * Returns true when this process runs under umockdev, false when umockdev-wrapper could not
 * be started (the caller skips, or fails under CI). Call it once, before any thread starts. */
bool UmockdevReexec();
