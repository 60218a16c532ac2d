#include "base/file_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <utility>
#include <vector>

#include "base/atomic_file.h"
#include "base/file_read.h"
#include "base/manual_reset_event.h"
#include "fakes/recording_shell.h"
#include "support/temporary_directory.h"

namespace trellon {
namespace {

namespace fs = std::filesystem;

// Stands in for the disk: records each replace and can hold the writer inside one.
class GatedDisk {
 public:
  using Write = std::pair<std::string, std::string>;

  FileWriter::Replace Replace() {
    return [this](const std::string& path, const std::string& content) {
      {
        std::lock_guard lock(mutex_);
        writes_.emplace_back(path, content);
      }
      entered_.Set();
      open_.Wait();
      return std::string();
    };
  }
  void Hold() { open_.Reset(); }
  void Release() { open_.Set(); }
  // Waits until the writer is inside a replace.
  void WaitForWriter() { entered_.Wait(); }
  std::vector<Write> Writes() {
    std::lock_guard lock(mutex_);
    return writes_;
  }

 private:
  std::mutex mutex_;
  std::vector<Write> writes_;
  ManualResetEvent entered_;
  ManualResetEvent open_{true};
};

TEST(FileWriterTest, NewestTextWinsSoABurstCostsOneWrite) {
  MainThread mainThread;
  fakes::RecordingShell shell;
  GatedDisk disk;
  FileWriter writer(mainThread, shell, disk.Replace());

  // Paths to nothing: once written, reading them asks the real disk and finds nothing.
  const std::string a = "/nonexistent/trellon/a";
  const std::string b = "/nonexistent/trellon/b";
  // No ASSERT while the writer is held: returning would leave it held for good.
  disk.Hold();
  writer.Write(a, "a0");
  disk.WaitForWriter();
  std::string newest;
  EXPECT_TRUE(writer.ReadNewest(a, newest, 1024).status == FileStatus::Read);
  EXPECT_EQ(newest, "a0") << "the text being written is the newest";

  for (int i = 1; i <= 1000; ++i) {
    writer.Write(a, "a" + std::to_string(i));
    if (i == 500) writer.Write(b, "b1");
  }
  EXPECT_TRUE(writer.ReadNewest(a, newest, 1024).status == FileStatus::Read);
  EXPECT_EQ(newest, "a1000");
  EXPECT_TRUE(writer.ReadNewest(b, newest, 1024).status == FileStatus::Read);
  EXPECT_EQ(newest, "b1");

  disk.Release();
  writer.Flush();
  EXPECT_EQ(disk.Writes(), (std::vector<GatedDisk::Write>{{a, "a0"}, {a, "a1000"}, {b, "b1"}}))
      << "one write for the burst, files in the order they were first handed over";
  EXPECT_FALSE(writer.ReadNewest(a, newest, 1024).status == FileStatus::Read)
      << "written: the disk is asked";
  EXPECT_TRUE(shell.errors.empty());
}

class FileWriterDiskTest : public ::testing::Test {
 protected:
  std::string File(const std::string& name) const { return dir_.File(name); }
  static std::string Read(const std::string& path) { return test_support::ReadText(path); }

  test_support::TemporaryDirectory dir_;
  MainThread mainThread;
  fakes::RecordingShell shell;
};

TEST_F(FileWriterDiskTest, FlushAndCloseLeaveEveryFileWholeAndCurrent) {
  const std::string log = File("Trellon.log");
  const std::string ini = File("Trellon.ini");
  std::string text;
  {
    FileWriter writer(mainThread, shell);
    for (int i = 0; i < 200; ++i) {
      text += "line " + std::to_string(i) + "\r\n";
      writer.Write(log, text);
    }
    writer.Write(ini, "[X]\n");
    writer.Flush();
    EXPECT_EQ(Read(log), text);
    EXPECT_EQ(Read(ini), "[X]\n");

    text += "last\r\n";
    writer.Write(log, text);
    writer.Write(ini, "[X]\nLeft=1\n");
  }
  EXPECT_EQ(Read(log), text) << "what was queued is written before the writer ends";
  EXPECT_EQ(Read(ini), "[X]\nLeft=1\n");
  EXPECT_FALSE(fs::exists(log + ".tmp"));
  EXPECT_TRUE(shell.errors.empty());
}

TEST_F(FileWriterDiskTest, FailuresAreReportedOnTheMainThreadAndSoIsTheirEnd) {
  const std::string path = File("Trellon.log");
  ASSERT_TRUE(ReplaceFileContent(path, "old\r\n").empty());
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  FileWriter writer(mainThread, shell);
  std::vector<std::string> results;
  bool onMainThread = true;
  const auto record = [&](const std::string& failure) {
    onMainThread = onMainThread && mainThread.IsMainThread();
    results.push_back(failure);
  };

  // Without a flush the report comes through the main-thread hand-over.
  writer.Write(path, "new\r\n", record);
  mainThread.ServeUntil([&] { return !results.empty(); });
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0], path + ": Permission denied");
  writer.Flush();
  EXPECT_EQ(results.size(), 1u) << "a report runs once";
  EXPECT_EQ(Read(path), "old\r\n");

  writer.Write(path, "newer\r\n", record);
  writer.Flush();
  ASSERT_EQ(results.size(), 2u) << "every failure is reported";

  ASSERT_EQ(chmod(path.c_str(), 0644), 0);
  writer.Write(path, "newest\r\n", record);
  writer.Flush();
  ASSERT_EQ(results.size(), 3u);
  EXPECT_EQ(results[2], "") << "the first success after failures is reported";
  writer.Write(path, "again\r\n", record);
  writer.Flush();
  EXPECT_EQ(results.size(), 3u) << "further successes are not";
  EXPECT_EQ(Read(path), "again\r\n");
  EXPECT_TRUE(onMainThread);
  EXPECT_EQ(mainThread.RunPending(), 2) << "the hand-overs of the flushed reports find nothing";
  EXPECT_EQ(results.size(), 3u);
}

TEST_F(FileWriterDiskTest, AReportThatThrowsGoesToTheErrorHandlingAndTheNextStillRuns) {
  FileWriter writer(mainThread, shell);
  const auto fail = [](const std::string& failure) {
    if (!failure.empty()) throw std::runtime_error("report: " + failure);
  };
  writer.Write(File("gone/a.ini"), "a", fail);
  writer.Write(File("gone/b.ini"), "b", fail);
  writer.Flush();
  EXPECT_EQ(shell.errors,
            (std::vector<std::string>{
                "report: " + File("gone/a.ini.tmp") + ": No such file or directory",
                "report: " + File("gone/b.ini.tmp") + ": No such file or directory"}));
}

}  // namespace
}  // namespace trellon
