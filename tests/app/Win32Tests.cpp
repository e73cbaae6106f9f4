// Global's existence test and mShellElevated's launcher against the real system (under Wine here).
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "Global.h"
#include "TempFolder.h"
#include "mShellElevated.h"

namespace kestrelwing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class Win32Test : public ::testing::Test {
 protected:
  // RunElevated on another thread, so that a launcher that never returns fails the test instead
  // of hanging it. The result, or none after the time limit.
  struct Outcome {
    std::int32_t result;
    LaunchResult details;
  };
  static std::optional<Outcome> RunWithin(std::chrono::seconds limit, std::u16string fileToRun,
                                          std::u16string parameters, bool waitForExit) {
    auto launched = std::make_shared<std::promise<Outcome>>();
    std::future<Outcome> result = launched->get_future();
    std::thread([=] {
      Outcome outcome;
      outcome.result = RunElevated(fileToRun, parameters, u"", 0, waitForExit, &outcome.details);
      launched->set_value(outcome);
    }).detach();  // a launcher that hangs is left behind; the test fails
    if (result.wait_for(limit) != std::future_status::ready) return std::nullopt;
    return result.get();
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
  EXPECT_NE(result->result, 0);
  EXPECT_TRUE(result->details.launched);
  EXPECT_EQ(result->details.exitCode, 0u);
  EXPECT_TRUE(fs::exists(marker));
}

TEST_F(Win32Test, ProgramEndingWithCode259IsNotTakenForARunningOne) {
  const auto result = RunWithin(60s, u"cmd.exe", u"/c exit 259", true);
  ASSERT_TRUE(result.has_value()) << "the launcher kept waiting for an ended program";
  EXPECT_NE(result->result, 0);
  EXPECT_EQ(result->details.exitCode, 259u);
}

TEST_F(Win32Test, FailedLaunchAnswersZeroAtOnceAlsoWhenWaiting) {
  const std::u16string missing = (folder_ / "tools" / "regsvr42.exe").u16string();
  for (const bool wait : {true, false}) {
    const auto result = RunWithin(30s, missing, u"\"C:\\grid.ocx\"", wait);
    ASSERT_TRUE(result.has_value()) << "the launcher hung on a missing program";
    EXPECT_EQ(result->result, 0);
    EXPECT_FALSE(result->details.launched);
    // Not the user's refusal, which the program keeps silent about: a missing file.
    EXPECT_TRUE(result->details.error == ERROR_FILE_NOT_FOUND ||
                result->details.error == ERROR_PATH_NOT_FOUND)
        << result->details.error;
    EXPECT_FALSE(result->details.exitCode.has_value());
  }
}

}  // namespace
}  // namespace kestrelwing
