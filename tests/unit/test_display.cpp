#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/CLI_Display.h"
#include "app/Log.h"
#include "tests/unit/support/RecordingDisplay.h"

namespace {

// Points standard output at a fresh descriptor for the test's lifetime and collects
// what is written there.
class StdoutCapture {
public:
    explicit StdoutCapture(bool terminal)
    {
        saved = dup(STDOUT_FILENO);
        int writeEnd = -1;
        if (terminal) {
            EXPECT_EQ(0, openpty(&readEnd, &writeEnd, nullptr, nullptr, nullptr));
            struct termios raw;
            tcgetattr(writeEnd, &raw);
            cfmakeraw(&raw); // no "\n" -> "\r\n" translation
            tcsetattr(writeEnd, TCSANOW, &raw);
        } else {
            int fds[2];
            EXPECT_EQ(0, pipe(fds));
            readEnd = fds[0];
            writeEnd = fds[1];
        }
        dup2(writeEnd, STDOUT_FILENO);
        close(writeEnd);
    }
    ~StdoutCapture()
    {
        restore();
        close(readEnd);
    }
    // Everything written so far.
    std::string take()
    {
        std::string bytes;
        char chunk[4096];
        struct pollfd p = {readEnd, POLLIN, 0};
        while (poll(&p, 1, 100) == 1 && (p.revents & POLLIN)) {
            ssize_t n = read(readEnd, chunk, sizeof chunk);
            if (n <= 0)
                break;
            bytes.append(chunk, static_cast<size_t>(n));
        }
        return bytes;
    }
    void restore()
    {
        if (saved >= 0) {
            dup2(saved, STDOUT_FILENO);
            close(saved);
            saved = -1;
        }
    }

private:
    int saved = -1;
    int readEnd = -1;
};

std::string Bar(int filled, int blanks, const char* percent)
{
    return "\r[" + std::string(filled, '=') + ">" + std::string(blanks, ' ') + "] (" + percent + "% ) ";
}

struct BarCase {
    const char* name;
    double fraction;
    const char* label;
    std::string bytes;
};

const BarCase kBarCases[] = {
    {"Empty", 0.0, nullptr, Bar(0, 68, "  0")},
    {"Half", 0.5, nullptr, Bar(34, 34, " 50")},
    // The pad is -1 at the end, which prints one blank.
    {"Full", 1.0, nullptr, Bar(69, 1, "100")},
    {"TenCharLabelShortensTo55", 0.5, "abcdefghij",
     "\r (abcdefghij) [" + std::string(27, '=') + ">" + std::string(27, ' ') + "] ( 50% ) "},
    {"OutOfRangeClamped", 1.5, nullptr, Bar(69, 1, "100")},
    {"NegativeClamped", -0.5, nullptr, Bar(0, 68, "  0")},
};

class ProgressBarTest : public ::testing::TestWithParam<BarCase> {};

TEST_P(ProgressBarTest, BytesOnATerminal)
{
    StdoutCapture out(true);
    CLI_Display display;
    display.display_progress(true);
    display.update_progress(GetParam().fraction, GetParam().label);
    EXPECT_EQ(GetParam().bytes, out.take());
}

INSTANTIATE_TEST_SUITE_P(Fractions, ProgressBarTest, ::testing::ValuesIn(kBarCases),
                         [](const auto& i) { return std::string(i.param.name); });

const std::string kErase = "\r" + std::string(88, ' ') + "\r";

TEST(CliDisplayTest, EndOfProgressErasesTheLine)
{
    StdoutCapture out(true);
    CLI_Display display;
    display.display_progress(false);
    EXPECT_EQ(kErase, out.take());
}

TEST(CliDisplayTest, SpinnerCyclesEightFramesAndSurvivesErasing)
{
    const std::vector<std::string> frames = {".", "..", "...", "....", ".....", "....", "...", ".."};
    StdoutCapture out(true);
    CLI_Display display;
    std::vector<std::string> drawn;
    for (int i = 0; i < 9; ++i) {
        display.update_spinner(true, nullptr);
        drawn.push_back(out.take());
    }
    display.update_spinner(false, nullptr);
    EXPECT_EQ(kErase, out.take());
    display.update_spinner(true, "wait");
    drawn.push_back(out.take());

    // The counter is shared by all displays: find where this test found it.
    size_t start = frames.size();
    for (size_t k = 0; k < frames.size(); ++k) {
        if (drawn[0] == "\r " + frames[k] + "      \r" && drawn[1] == "\r " + frames[(k + 1) % 8] + "      \r")
            start = k;
    }
    ASSERT_LT(start, frames.size()) << drawn[0];
    for (size_t i = 0; i < 9; ++i)
        EXPECT_EQ("\r " + frames[(start + i) % 8] + "      \r", drawn[i]) << i;
    EXPECT_EQ(drawn[0], drawn[8]);
    EXPECT_EQ("\r (wait) " + frames[(start + 9) % 8] + "      \r", drawn[9]);
}

TEST(CliDisplayTest, RedirectedOutputGetsMessagesOnly)
{
    StdoutCapture out(false);
    CLI_Display display;
    display.display_progress(true);
    display.update_progress(0.5, "x");
    display.update_spinner(true, "x");
    display.update_spinner(false, nullptr);
    display.display_progress(false);
    display.message(UpdaterDisplayInterface::Info, "value %d", 7);
    out.restore();
    EXPECT_EQ("value 7\n", out.take());
}

TEST(DisplayMessageTest, CutAt2047AndMuted)
{
    RecordingDisplay display;
    std::string longText(3000, 'x');
    display.message(UpdaterDisplayInterface::Error, "%s", longText.c_str());
    display.mute_messages(true);
    display.message(UpdaterDisplayInterface::Info, "muted");
    display.message(UpdaterDisplayInterface::Error, "muted");
    display.update_spinner(true, nullptr); // drawing is not muted
    display.mute_messages(false);
    display.message(UpdaterDisplayInterface::Info, "back");
    EXPECT_EQ((std::vector<std::string>{"E:" + std::string(2047, 'x'), "spinner(on)", "I:back"}), display.lines);
}

// Log state is process-wide: each case starts and ends with nothing activated.
class LogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        file = tmpfile();
        ASSERT_NE(nullptr, file);
        Log::SetOutput(file);
    }
    void TearDown() override
    {
        Log::DeactivatePackage(0xFFFFFFFF);
        Log::SetOutput(nullptr);
        fclose(file);
    }
    std::string written()
    {
        fflush(file);
        rewind(file);
        std::string text;
        for (int c = fgetc(file); c != EOF; c = fgetc(file))
            text += static_cast<char>(c);
        return text;
    }
    FILE* file = nullptr;
};

TEST_F(LogTest, PackagesGateLines)
{
    Log::log(DEBUG_Network_FIRM, "firm %d\n", 1);
    Log::log(0, "always\n");
    Log::ActivatePackage(DEBUG_Network_FIRM | DEBUG_APP);
    Log::log(DEBUG_Network_FIRM, "firm %d\n", 2);
    Log::log(DEBUG_Updater, "updater\n");
    Log::DeactivatePackage(DEBUG_Network_FIRM);
    Log::log(DEBUG_Network_FIRM, "firm %d\n", 3);
    Log::log(DEBUG_APP, "app");
    EXPECT_EQ("always\nfirm 2\napp", written());
}

TEST_F(LogTest, LongLineCutAt2047AndNothingWithoutOutput)
{
    std::string longText(3000, 'y');
    Log::log(0, "%s", longText.c_str());
    Log::SetOutput(nullptr);
    Log::log(0, "dropped");
    EXPECT_EQ(std::string(2047, 'y'), written());
}

} // namespace
