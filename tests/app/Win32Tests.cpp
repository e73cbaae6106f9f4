// Global's existence test and mShellElevated's launcher against the real system (under Wine here).
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "Global.h"
#include "TempFolder.h"
#include "Win32Handles.h"
#include "mShellElevated.h"

namespace kestrelwing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class Win32Test : public ::testing::Test {
 protected:
  // RunElevated on another thread, so that a launcher that never returns fails the test instead
  // of hanging it. The result, or none after the time limit. Only the system's own thread and
  // event are used: the launch must be all that the test waits on.
  static std::optional<LaunchResult> RunWithin(std::chrono::seconds limit, std::u16string fileToRun,
                                               std::u16string parameters, bool waitForExit) {
    auto launch = std::make_unique<Launch>(
        Launch{std::move(fileToRun), std::move(parameters), waitForExit, {}});
    const UniqueHandle thread(CreateThread(nullptr, 0, &Run, launch.get(), 0, nullptr));
    if (!thread) return std::nullopt;
    const auto milliseconds = static_cast<DWORD>(limit.count() * 1000);
    if (WaitForSingleObject(launch->done.get(), milliseconds) != WAIT_OBJECT_0) {
      launch.release();  // left to the launcher that hangs; the test fails
      return std::nullopt;
    }
    return launch->outcome;  // the thread no longer touches launch once the event is set
  }

  struct Launch {
    std::u16string fileToRun, parameters;
    bool waitForExit;
    LaunchResult outcome;
    UniqueHandle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  };
  static DWORD WINAPI Run(void* argument) {
    auto& launch = *static_cast<Launch*>(argument);
    launch.outcome = RunElevated(launch.fileToRun, launch.parameters, u"", 0, launch.waitForExit);
    SetEvent(launch.done.get());
    return 0;
  }

  testing::TempFolder folder{u"Kestrelwing \u00f1 \u65e5\u672c "};
  const fs::path& folder_ = folder.path();
};

TEST_F(Win32Test, FileExistsForFilesAndFoldersWithWidePaths) {
  const fs::path file = folder_ / fs::path(u"rejilla \u00e9\u4e2d.ocx");
  std::ofstream(file) << "MZ";
  EXPECT_TRUE(FileExists(file.u16string()));
  EXPECT_TRUE(FileExists(folder_.u16string()));
  EXPECT_FALSE(FileExists((folder_ / "missing.ocx").u16string()));
  EXPECT_FALSE(FileExists(u""));
}

TEST_F(Win32Test, WaitingLaunchReturnsOnlyOnceTheProgramHasEnded) {
  const fs::path marker = folder_ / "done.txt";
  // cmd writes the marker as its last act: present when the call returns, the wait was real.
  const auto result =
      RunWithin(60s, u"cmd.exe",
                u"/c ping -n 2 127.0.0.1 >nul & echo done> \"" + marker.u16string() + u"\"", true);
  ASSERT_TRUE(result.has_value()) << "the launcher did not return";
  EXPECT_TRUE(result->launched);
  EXPECT_EQ(result->exitCode, 0u);
  EXPECT_TRUE(fs::exists(marker));
}

TEST_F(Win32Test, ProgramEndingWithCode259IsNotTakenForARunningOne) {
  const auto result = RunWithin(60s, u"cmd.exe", u"/c exit 259", true);
  ASSERT_TRUE(result.has_value()) << "the launcher kept waiting for an ended program";
  EXPECT_TRUE(result->launched);
  EXPECT_EQ(result->exitCode, 259u);
}

TEST_F(Win32Test, FailedLaunchAnswersZeroAtOnceAlsoWhenWaiting) {
  const std::u16string missing = (folder_ / "tools" / "regsvr42.exe").u16string();
  for (const bool wait : {true, false}) {
    const auto result = RunWithin(30s, missing, u"\"C:\\grid.ocx\"", wait);
    ASSERT_TRUE(result.has_value()) << "the launcher hung on a missing program";
    EXPECT_FALSE(result->launched);
    // Not the user's refusal, which the program keeps silent about: a missing file.
    EXPECT_TRUE(result->error == ERROR_FILE_NOT_FOUND || result->error == ERROR_PATH_NOT_FOUND)
        << result->error;
    EXPECT_FALSE(result->exitCode.has_value());
  }
}

}  // namespace
}  // namespace kestrelwing
