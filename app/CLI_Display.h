#pragma once
#include "app/UpdaterDisplayInterface.h"

// The console display: messages on standard output and standard error; the progress bar
// and the spinner on standard output, drawn only when it is a terminal.
class CLI_Display : public UpdaterDisplayInterface {
public:
    /* Switches standard output and standard error to unbuffered mode, so partial lines
     * appear at once and the two streams interleave in call order. */
    CLI_Display();

    /* show=true draws nothing (the first update draws); false erases the line. */
    void display_progress(bool show) override;
    /* Draws "[===>   ] ( 50% ) ", with " (label) " in front when a label is given. */
    void update_progress(double fraction, const char* label) override;
    /* Draws the next of eight frames, or erases the line; the frame counter is shared by
     * every CLI_Display and survives erasing. */
    void update_spinner(bool on, const char* label) override;
    /* Writes `text` and a newline to standard output. */
    void info_message(const char* text) override;
    /* Writes `text` and a newline to standard error. */
    void error_message(const char* text) override;
};
