#pragma once
#include <string>
#include <vector>

#include "app/UpdaterDisplayInterface.h"

/* A display that keeps what it is asked to show: messages as "I:text" or "E:text", and
 * drawing calls as "progress(...)" and "spinner(...)" entries, in call order. */
class RecordingDisplay : public UpdaterDisplayInterface {
public:
    void display_progress(bool show) override;
    void update_progress(double fraction, const char* label) override;
    void update_spinner(bool on, const char* label) override;
    void info_message(const char* text) override;
    void error_message(const char* text) override;

    std::vector<std::string> lines;
};
