#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "app/Log.h"

// A download worker logs from its own thread while the main thread logs too: every line
// must come out whole.
TEST(LogThreadsTest, LinesFromTwoThreadsNeverInterleave)
{
    FILE* file = tmpfile();
    ASSERT_NE(nullptr, file);
    Log::SetOutput(file);
    Log::ActivatePackage(DEBUG_ServerComm);
    std::atomic<int> ready{0};
    auto writer = [&ready](char letter) {
        std::string body(300, letter);
        // Start together, so the two threads really overlap.
        ready.fetch_add(1);
        while (ready.load() < 2)
            std::this_thread::yield();
        for (int i = 0; i < 20000; ++i)
            Log::log(DEBUG_ServerComm, "%s|%c\n", body.c_str(), letter);
    };
    std::thread a(writer, 'a');
    std::thread b(writer, 'b');
    a.join();
    b.join();
    Log::DeactivatePackage(DEBUG_ServerComm);
    Log::SetOutput(nullptr);

    rewind(file);
    char line[1024];
    int lines = 0;
    while (fgets(line, sizeof line, file)) {
        std::string text(line);
        ASSERT_EQ(303u, text.size()) << lines;
        EXPECT_EQ(std::string(300, text[0]) + "|" + text[0] + "\n", text) << lines;
        ++lines;
    }
    fclose(file);
    EXPECT_EQ(40000, lines);
}
