// Interruptions on POSIX systems: the process ends by the signal that came, and the temporary
// file it names is gone; a signal during a held step is taken only after that step.
#include "tool/interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_folder.h"

namespace {

TEST(Interrupts, ASignalRemovesThePendingFileAndEndsTheProcessByIt) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    TempFolder folder;
    const std::string temp = (folder.path() / "vrXXXXXX").string();
    WriteBytes(temp, {1, 2, 3});
    EXPECT_EXIT(
        {
          PrepareInterrupts();
          SetPendingFile(temp.c_str());
          raise(signal);
          std::exit(0);
        },
        testing::KilledBySignal(signal), "")
        << strsignal(signal);
    EXPECT_FALSE(std::filesystem::exists(temp)) << strsignal(signal);
  }
}

TEST(Interrupts, ASignalDuringTheRenameIsTakenAfterIt) {
  TempFolder folder;
  const std::string temp = (folder.path() / "vrXXXXXX").string();
  const std::string target = (folder.path() / "data.bin").string();
  WriteBytes(temp, {4, 5, 6});
  WriteBytes(target, {1});
  EXPECT_EXIT(
      {
        PrepareInterrupts();
        HoldInterrupts();
        SetPendingFile(temp.c_str());
        raise(SIGINT);
        if (rename(temp.c_str(), target.c_str()) != 0) {
          std::exit(2);
        }
        SetPendingFile(nullptr);
        ReleaseInterrupts();
        std::exit(0);
      },
      testing::KilledBySignal(SIGINT), "");
  EXPECT_EQ(ReadBytes(target), (std::vector<std::uint8_t>{4, 5, 6}));
  EXPECT_FALSE(std::filesystem::exists(temp));
}

TEST(Interrupts, AReaderThatWentAwayDoesNotEndTheProcess) {
  EXPECT_EXIT(
      {
        PrepareInterrupts();
        int fds[2];
        if (pipe(fds) != 0) {
          std::exit(2);
        }
        close(fds[0]);
        const bool failed = write(fds[1], "x", 1) < 0;
        std::exit(failed && errno == EPIPE ? 0 : 3);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
