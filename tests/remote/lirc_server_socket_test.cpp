#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fakes/recording_shell.h"
#include "remote/lirc_server.h"
#include "support/qt_events.h"
#include "support/temporary_directory.h"
#include "support/unix_client.h"
#include "support/wait.h"

namespace trellon {
namespace {

using test_support::ProcessQtEvents;
using test_support::TemporaryDirectory;
using test_support::UnixClient;

bool PumpUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
  return test_support::WaitFor(condition, timeoutMs, ProcessQtEvents);
}

std::string Line(const std::string& code, const std::string& repeat, const std::string& key) {
  return code + " " + repeat + " " + key + " vx710\n";
}

class LircServerSocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = std::make_unique<LircServer>(shell_, directory_.File("run/lircd"));
    ASSERT_TRUE(server_->IsListening());
  }

  std::unique_ptr<UnixClient> Connect() {
    auto client = std::make_unique<UnixClient>();
    EXPECT_TRUE(client->Connect(server_->Path()));
    const size_t before = server_->ClientCount();
    EXPECT_TRUE(PumpUntil([&] { return server_->ClientCount() == before + 1; }));
    return client;
  }

  int LogCount(const std::string& line) const {
    return static_cast<int>(std::count(shell_.logLines.begin(), shell_.logLines.end(), line));
  }

  TemporaryDirectory directory_;
  fakes::RecordingShell shell_;
  std::unique_ptr<LircServer> server_;
};

TEST_F(LircServerSocketTest, EveryClientGetsEachKeyAsOneLineWithItsRepeatCount) {
  auto first = Connect();
  auto second = Connect();
  EXPECT_EQ(first->ReceiveAvailable(), "");
  // Whatever a client sends (a lircd command) is read and gets no answer.
  ASSERT_EQ(::send(first->Fd(), "VERSION\n", 8, 0), 8);

  server_->KeyForwarded({"ok", false});
  server_->KeyForwarded({"up", false});
  server_->KeyForwarded({"up", true});
  server_->KeyForwarded({"up", true});
  server_->KeyForwarded({"vol-", false});
  const std::string expected =
      Line("0000000000000042", "00", "ok") + Line("0000000000000019", "00", "up") +
      Line("0000000000000019", "01", "up") + Line("0000000000000019", "02", "up") +
      Line("000000000000000e", "00", "vol-");
  EXPECT_EQ(first->Receive(expected.size()), expected);
  EXPECT_EQ(second->Receive(expected.size()), expected);
  ProcessQtEvents();
  EXPECT_EQ(first->ReceiveAvailable(), "");
  EXPECT_EQ(LogCount("LIRC client connected"), 2);
}

TEST_F(LircServerSocketTest, AClientThatLeavesIsLoggedOnceAndTheOthersGoOn) {
  auto leaving = Connect();
  auto staying = Connect();
  leaving->Close();
  ASSERT_TRUE(PumpUntil([&] { return server_->ClientCount() == 1; }));
  server_->KeyForwarded({"stop", false});
  const std::string line = Line("0000000000000001", "00", "stop");
  EXPECT_EQ(staying->Receive(line.size()), line);
  EXPECT_EQ(LogCount("LIRC client disconnected"), 1);
}

// 100 clients, a tenth of them never read: the readers get every line in order, the stuck ones
// are dropped once their queue is full, and no key waits for them.
TEST_F(LircServerSocketTest, ClientsThatNeverReadAreDroppedWithoutCostingTheOthersAKey) {
  std::vector<std::unique_ptr<UnixClient>> readers;
  std::vector<std::unique_ptr<UnixClient>> stuck;
  for (int i = 0; i < 100; ++i) (i % 10 == 3 ? stuck : readers).push_back(Connect());
  std::vector<std::string> received(readers.size());

  constexpr int kKeys = 3000;
  std::string expected;
  LircRepeatCounter counter;
  for (int i = 0; i < kKeys; ++i) {
    const ForwardedKey key{i % 7 == 0 ? "down" : "up", i % 7 != 0};
    expected += LircLine(LircCodeForKey(key.name), counter.Next(key), key.name);
    server_->KeyForwarded(key);
    for (size_t r = 0; r < readers.size(); ++r) received[r] += readers[r]->ReceiveAvailable();
  }
  for (size_t r = 0; r < readers.size(); ++r) {
    received[r] += readers[r]->Receive(expected.size() - received[r].size());
    ASSERT_EQ(received[r], expected) << "reader " << r;
  }
  EXPECT_EQ(server_->ClientCount(), readers.size());
  EXPECT_EQ(LogCount("LIRC client dropped (it does not read its keys)"),
            static_cast<int>(stuck.size()));
  for (const auto& client : stuck) {
    // It had at most what the socket holds plus the bounded queue, then the end.
    const std::string rest = client->Receive(expected.size(), 2000);
    EXPECT_TRUE(client->Ended());
    EXPECT_LT(rest.size(), expected.size());
    EXPECT_EQ(expected.compare(0, rest.size(), rest), 0) << "a stuck client's lines out of order";
  }
}

TEST_F(LircServerSocketTest, ASocketLeftByAnEarlierRunIsReplacedAndABadPathIsLogged) {
  const std::string path = server_->Path();
  server_.reset();
  // The socket file of a program that was killed stays behind.
  test_support::WriteText(path, "");
  server_ = std::make_unique<LircServer>(shell_, path);
  EXPECT_TRUE(server_->IsListening());
  auto client = Connect();
  server_->KeyForwarded({"1", false});
  const std::string line = Line("000000000000004d", "00", "1");
  EXPECT_EQ(client->Receive(line.size()), line);

  LircServer nowhere(shell_, "/proc/no/such/folder/lircd");
  EXPECT_FALSE(nowhere.IsListening());
  nowhere.KeyForwarded({"ok", false});
  EXPECT_THAT(shell_.logLines.back(), ::testing::StartsWith("LIRC: cannot listen on /proc/"));
}

}  // namespace
}  // namespace trellon
