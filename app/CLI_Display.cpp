#include "app/CLI_Display.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr const char kBar[] = "=====================================================================";
constexpr int kBarWidth = sizeof kBar - 1;
constexpr int kEraseWidth = 88;
constexpr const char* kFrames[] = {".", "..", "...", "....", ".....", "....", "...", ".."};

bool sDrawing()
{
    return isatty(STDOUT_FILENO) == 1;
}

void sEraseLine()
{
    printf("\r%*s\r", kEraseWidth, " ");
}

} // namespace

CLI_Display::CLI_Display()
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    setvbuf(stderr, nullptr, _IONBF, 0);
}

void CLI_Display::display_progress(bool show)
{
    if (!show && sDrawing())
        sEraseLine();
}

void CLI_Display::update_progress(double fraction, const char* label)
{
    if (!sDrawing())
        return;
    int width = label ? kBarWidth - static_cast<int>(strlen(label)) - 4 : kBarWidth;
    // A negative precision would print the whole bar: keep both within range.
    if (width < 0)
        width = 0;
    if (!(fraction >= 0.0))
        fraction = 0.0;
    if (fraction > 1.0)
        fraction = 1.0;
    int filled = static_cast<int>(width * fraction);
    int percent = static_cast<int>(100.0 * fraction);
    // At 1.0 the pad is -1, which prints one blank: the full bar is one column wider.
    if (label)
        printf("\r (%s) [%.*s>%*s] (%3d%% ) ", label, filled, kBar, width - filled - 1, "", percent);
    else
        printf("\r[%.*s>%*s] (%3d%% ) ", filled, kBar, width - filled - 1, "", percent);
}

void CLI_Display::update_spinner(bool on, const char* label)
{
    static unsigned char frame = 0;
    if (!sDrawing())
        return;
    if (!on) {
        sEraseLine();
        return;
    }
    if (label)
        printf("\r (%s) %s      \r", label, kFrames[frame]);
    else
        printf("\r %s      \r", kFrames[frame]);
    frame = static_cast<unsigned char>((frame + 1) % 8);
}

void CLI_Display::info_message(const char* text)
{
    printf("%s\n", text);
}

void CLI_Display::error_message(const char* text)
{
    fprintf(stderr, "%s\n", text);
}
