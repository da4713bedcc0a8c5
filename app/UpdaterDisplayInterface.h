#pragma once

// The display through which every line meant for the user passes. The update logic talks
// only to this interface; a front end implements the five drawing operations.
class UpdaterDisplayInterface {
public:
    enum Level { Info = 0, Error = 1 };

    virtual ~UpdaterDisplayInterface() = default;

    /* Begins (true) or ends (false) a progress bar. */
    virtual void display_progress(bool show) = 0;
    /* Redraws the bar at `fraction` (0.0 to 1.0); `label` may be null. */
    virtual void update_progress(double fraction, const char* label) = 0;
    /* Draws the next spinner frame (true) or erases the spinner (false); `label` may be null. */
    virtual void update_spinner(bool on, const char* label) = 0;
    /* Prints one finished info line (no trailing newline in `text`). */
    virtual void info_message(const char* text) = 0;
    /* Prints one finished error line (no trailing newline in `text`). */
    virtual void error_message(const char* text) = 0;

    /* Formats printf-style into 2048 bytes (cut to 2047 characters) and passes the text to
     * error_message for Error, else to info_message. Does nothing while muted. */
    void message(Level level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    /* Silences (true) or restores (false) `message`; drawing is not affected. */
    void mute_messages(bool mute);

protected:
    bool muted = false;
};
