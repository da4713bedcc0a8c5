#include "tests/unit/support/RecordingDisplay.h"

#include <cstdio>

void RecordingDisplay::display_progress(bool show)
{
    lines.push_back(show ? "progress(begin)" : "progress(end)");
}

void RecordingDisplay::update_progress(double fraction, const char* label)
{
    char text[64];
    snprintf(text, sizeof text, "progress(%.3f)", fraction);
    lines.push_back(std::string(text) + (label ? label : ""));
}

void RecordingDisplay::update_spinner(bool on, const char* label)
{
    lines.push_back(std::string(on ? "spinner(on)" : "spinner(off)") + (label ? label : ""));
}

void RecordingDisplay::info_message(const char* text)
{
    lines.push_back(std::string("I:") + text);
}

void RecordingDisplay::error_message(const char* text)
{
    lines.push_back(std::string("E:") + text);
}
