#include "platform/ForkedTask.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <string>
#include <unistd.h>

using lurvik::ForkedTask;

// The work sees memory as it was when it started, whatever the caller changes meanwhile; its
// outcome is reported once, and a failure, a throw or a signal each say what happened.
TEST(ForkedTask, WorksOnTheMemoryAsItWasAndReportsEachOutcomeOnce) {
    const std::string file = ::testing::TempDir() + "forked-task-" + std::to_string(::getpid());
    std::string value = "before";
    int readFd[2];
    ASSERT_EQ(::pipe(readFd), 0);
    ForkedTask task;
    ASSERT_EQ(task.start([&]() -> std::string {
        char go;
        // Waits until the caller has changed value, to show it still sees the old one.
        if (::read(readFd[0], &go, 1) != 1)
            return "no go";
        std::ofstream(file) << value;
        return {};
    }),
              0);
    EXPECT_NE(task.start([] { return std::string(); }), 0) << "a second one while one runs";
    value = "after";
    ASSERT_EQ(::write(readFd[1], "g", 1), 1);
    EXPECT_EQ(task.wait(), ForkedTask::State::Succeeded);
    EXPECT_EQ(task.poll(), ForkedTask::State::Idle);
    std::string written;
    std::ifstream(file) >> written;
    EXPECT_EQ(written, "before");
    ::unlink(file.c_str());
    ::close(readFd[0]);
    ::close(readFd[1]);

    ASSERT_EQ(task.start([] { return std::string("cannot write x: No space left on device"); }), 0);
    ForkedTask::State state;
    while ((state = task.poll()) == ForkedTask::State::Running)
        ::usleep(1000);
    EXPECT_EQ(state, ForkedTask::State::Failed);
    EXPECT_EQ(task.errorText(), "cannot write x: No space left on device");
    EXPECT_EQ(task.poll(), ForkedTask::State::Idle);

    ASSERT_EQ(task.start([]() -> std::string { throw std::runtime_error("out of room"); }), 0);
    EXPECT_EQ(task.wait(), ForkedTask::State::Failed);
    EXPECT_EQ(task.errorText(), "out of room");

    ASSERT_EQ(task.start([]() -> std::string {
        ::raise(SIGKILL);
        return {};
    }),
              0);
    EXPECT_EQ(task.wait(), ForkedTask::State::Failed);
    EXPECT_EQ(task.errorText(), "the writer was stopped by signal 9");
}
