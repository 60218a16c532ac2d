#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fakes/recording_shell.h"
#include "remote/key_record.h"
#include "remote/key_server.h"
#include "support/descriptor_exhaustion.h"
#include "support/qt_events.h"
#include "support/tcp_client.h"
#include "support/wait.h"

namespace trellon {
namespace {

using Bytes = std::vector<uint8_t>;
using std::chrono::steady_clock;

using test_support::DescriptorExhaustion;
using test_support::ProcessQtEvents;
using test_support::TcpClient;

// Runs the event loop until the condition holds; false after the time-out.
bool PumpUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
  return test_support::WaitFor(condition, timeoutMs, ProcessQtEvents);
}

void PumpFor(int ms) {
  PumpUntil([] { return false; }, ms);
}

Bytes RecordBytes(const std::string& key) {
  const KeyRecord record(key);
  return Bytes(record.Bytes().begin(), record.Bytes().end());
}

class KeyServerSocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = std::make_unique<KeyServer>(shell_, 0);
    ASSERT_TRUE(server_->IsListening());
    port_ = server_->ServerPort();
    ASSERT_NE(port_, 0);
  }

  // A media-centre client on a plain blocking socket, independent of the event loop under test.
  std::unique_ptr<TcpClient> Connect(int receiveBuffer = 0) {
    auto client = std::make_unique<TcpClient>();
    EXPECT_TRUE(client->Connect(port_, 0, receiveBuffer));
    const size_t before = server_->ClientCount();
    EXPECT_TRUE(PumpUntil([&] { return server_->ClientCount() == before + 1; }));
    return client;
  }

  int LogCount(const std::string& line) const {
    return static_cast<int>(std::count(shell_.logLines.begin(), shell_.logLines.end(), line));
  }

  fakes::RecordingShell shell_;
  std::unique_ptr<KeyServer> server_;
  uint16_t port_ = 0;
};

TEST_F(KeyServerSocketTest, WithoutClientsABroadcastDoesNothing) {
  server_->BroadcastKey("ok");
  PumpFor(50);
  EXPECT_TRUE(shell_.logLines.empty());
  EXPECT_EQ(server_->ClientCount(), 0u);
}

TEST_F(KeyServerSocketTest, ClientsGetNothingOnConnectThenTheSameRecordInAcceptOrder) {
  auto first = Connect();
  auto second = Connect();
  EXPECT_EQ(LogCount("MediaPortal IRTrans connected"), 2);
  const auto clients = server_->RemoteClients();
  ASSERT_EQ(clients.size(), 2u);
  EXPECT_EQ(clients[0]->peerPort(), first->LocalPort());
  EXPECT_EQ(clients[1]->peerPort(), second->LocalPort());
  EXPECT_FALSE(first->HasInput(50));
  EXPECT_FALSE(second->HasInput(0));

  server_->BroadcastKey("ok");
  server_->BroadcastKey("home");

  const Bytes expected = [] {
    Bytes both = RecordBytes("ok");
    const Bytes home = RecordBytes("home");
    both.insert(both.end(), home.begin(), home.end());
    return both;
  }();
  EXPECT_EQ(first->Receive(624), expected);
  EXPECT_EQ(second->Receive(624), expected);
  EXPECT_FALSE(first->HasInput(50));
}

TEST_F(KeyServerSocketTest, WhatAClientSendsIsDiscardedAndNeverAnswered) {
  auto client = Connect();
  std::string noise = "IRTrans ASCII mode\r\n";
  for (int i = 0; i < 5000; ++i) noise.push_back(static_cast<char>(i * 37));
  client->Send(noise);
  PumpFor(200);
  EXPECT_FALSE(client->HasInput(0));
  EXPECT_EQ(server_->ClientCount(), 1u);

  server_->BroadcastKey("up");
  EXPECT_EQ(client->Receive(312), RecordBytes("up"));
  PumpFor(50);
  EXPECT_FALSE(client->HasInput(0));
}

TEST_F(KeyServerSocketTest, AClientThatVanishedDuringABroadcastIsDroppedAndLoggedOnce) {
  auto gone = Connect();
  auto staying = Connect();
  // The reset reaches the server's socket, but no event of it has been handled yet.
  gone->Reset();

  server_->BroadcastKey("ok");

  EXPECT_EQ(server_->ClientCount(), 1u);
  EXPECT_EQ(LogCount("MediaPortal IRTrans disconnected"), 1);
  EXPECT_EQ(staying->Receive(312), RecordBytes("ok"));
  // The socket layer's late news of the same connection adds nothing.
  PumpFor(200);
  EXPECT_EQ(LogCount("MediaPortal IRTrans disconnected"), 1);
  ASSERT_EQ(server_->RemoteClients().size(), 1u);
  EXPECT_EQ(server_->RemoteClients()[0]->peerPort(), staying->LocalPort());
  server_->BroadcastKey("down");
  EXPECT_EQ(staying->Receive(312), RecordBytes("down"));
}

TEST_F(KeyServerSocketTest, AClientThatLeavesIsRemovedOnceAndMayComeBackAtTheEnd) {
  auto leaving = Connect();
  auto staying = Connect();
  leaving->Close();
  ASSERT_TRUE(PumpUntil([&] { return server_->ClientCount() == 1; }));
  PumpFor(100);
  EXPECT_EQ(LogCount("MediaPortal IRTrans disconnected"), 1);

  auto back = Connect();
  const auto clients = server_->RemoteClients();
  ASSERT_EQ(clients.size(), 2u);
  EXPECT_EQ(clients[0]->peerPort(), staying->LocalPort());
  EXPECT_EQ(clients[1]->peerPort(), back->LocalPort());
  server_->BroadcastKey("back");
  EXPECT_EQ(back->Receive(312), RecordBytes("back"));
}

// A client that stops reading must neither block the program nor the others, and what it does
// get later is a clean run of whole records.
TEST_F(KeyServerSocketTest, AClientThatStopsReadingLosesRecordsButNeverItsFraming) {
  auto stalled = Connect(/*receiveBuffer=*/4096);
  auto reader = Connect();
  constexpr int kRecords = 30000;  // about 9 MB: far more than both socket buffers hold

  Bytes readerData;
  const auto start = steady_clock::now();
  for (int i = 0; i < kRecords; ++i) {
    server_->BroadcastKey("k" + std::to_string(i));
    const Bytes got = reader->ReceiveAvailable();
    readerData.insert(readerData.end(), got.begin(), got.end());
    if (i % 100 == 0) QCoreApplication::processEvents();
  }
  const auto elapsed = steady_clock::now() - start;
  EXPECT_LT(elapsed, std::chrono::seconds(30));
  EXPECT_EQ(server_->ClientCount(), 2u);
  EXPECT_EQ(LogCount("MediaPortal IRTrans disconnected"), 0);

  const Bytes rest = reader->Receive(kRecords * 312 - readerData.size());
  readerData.insert(readerData.end(), rest.begin(), rest.end());
  ASSERT_EQ(readerData.size(), size_t{kRecords} * 312);
  for (int i = 0; i < kRecords; i += 997) {
    const Bytes expected = RecordBytes("k" + std::to_string(i));
    ASSERT_TRUE(std::equal(expected.begin(), expected.end(), readerData.begin() + i * 312))
        << "record " << i;
  }

  // The stalled client now reads; pending tails go out as its socket takes them.
  Bytes stalledData;
  auto idleSince = steady_clock::now();
  while (steady_clock::now() - idleSince < std::chrono::milliseconds(500)) {
    QCoreApplication::processEvents();
    const Bytes got = stalled->ReceiveAvailable();
    if (!got.empty()) idleSince = steady_clock::now();
    stalledData.insert(stalledData.end(), got.begin(), got.end());
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_EQ(stalledData.size() % 312, 0u);
  const size_t received = stalledData.size() / 312;
  EXPECT_GT(received, 0u);
  EXPECT_LT(received, size_t{kRecords}) << "the socket never filled up; the test proves nothing";
  int lastIndex = -1;
  for (size_t r = 0; r < received; ++r) {
    const auto* record = stalledData.data() + r * 312;
    const std::string key(reinterpret_cast<const char*>(record + 92));
    ASSERT_EQ(key[0], 'k') << "record " << r;
    const int index = std::stoi(key.substr(1));
    ASSERT_GT(index, lastIndex) << "record " << r;
    const Bytes expected = RecordBytes(key);
    ASSERT_TRUE(std::equal(expected.begin(), expected.end(), record)) << "record " << r;
    lastIndex = index;
  }

  // Still connected, and now it keeps up again.
  server_->BroadcastKey("ok");
  EXPECT_EQ(stalled->Receive(312), RecordBytes("ok"));
}

TEST_F(KeyServerSocketTest, DestroyingTheServerClosesConnectionsWithoutLogging) {
  auto client = Connect();
  const size_t lines = shell_.logLines.size();
  server_.reset();
  PumpFor(100);
  EXPECT_TRUE(client->Receive(1).empty());
  EXPECT_TRUE(client->Ended());
  EXPECT_EQ(shell_.logLines.size(), lines);
}

// The sanitizers probe memory through a pipe of their own; with no descriptor left that fails,
// and they report a sound virtual call as a bad one. The sanitizer build leaves this case out.
#ifdef __SANITIZE_ADDRESS__
constexpr bool kSanitizerBuild = true;
#else
constexpr bool kSanitizerBuild = false;
#endif

TEST_F(KeyServerSocketTest, OutOfDescriptorsTheServerWaitsAndAcceptsOnceSomeAreFree) {
  if (kSanitizerBuild) GTEST_SKIP() << "the sanitizers need descriptors of their own";
  auto leaving = Connect();
  // Connected, but not yet accepted by the server: that needs a descriptor.
  TcpClient waiting;
  ASSERT_TRUE(waiting.Connect(port_));
  {
    DescriptorExhaustion exhaustion;
    ASSERT_TRUE(PumpUntil([&] { return shell_.logLines.size() == 2; }));
    EXPECT_EQ(shell_.logLines[1],
              "IRTrans server: cannot accept new clients (out of file descriptors); trying again");
    PumpFor(200);
    EXPECT_EQ(shell_.logLines.size(), 2u) << "logged once";
  }
  // A client that leaves frees a descriptor: the waiting one comes in at once.
  leaving->Close();
  ASSERT_TRUE(PumpUntil([&] { return LogCount("MediaPortal IRTrans connected") == 2; }));
  EXPECT_EQ(server_->ClientCount(), 1u);
  EXPECT_EQ(server_->RemoteClients()[0]->peerPort(), waiting.LocalPort());
  EXPECT_EQ(LogCount("IRTrans server: accepting clients again"), 1);
  server_->BroadcastKey("ok");
  EXPECT_EQ(waiting.Receive(312), RecordBytes("ok"));
}

TEST_F(KeyServerSocketTest, BeyondTheClientLimitNewOnesAreClosedAtOnce) {
  const size_t limit = KeyServer::kMaxClients;
  const std::string refusing =
      "IRTrans server: " + std::to_string(limit) + " clients connected; refusing new clients";
  std::vector<std::unique_ptr<TcpClient>> clients;
  for (size_t i = 0; i < limit; ++i) clients.push_back(Connect());
  const auto refused = [&] {
    TcpClient client;
    ASSERT_TRUE(client.Connect(port_));
    EXPECT_TRUE(PumpUntil([&] { return client.HasInput(0); }));
    EXPECT_TRUE(client.Receive(1, 0).empty());
    EXPECT_TRUE(client.Ended());
  };
  refused();
  refused();
  EXPECT_EQ(server_->ClientCount(), limit);
  EXPECT_EQ(LogCount("MediaPortal IRTrans connected"), static_cast<int>(limit));
  EXPECT_EQ(LogCount(refusing), 1);

  // Once one leaves, the next is welcome again.
  clients.front()->Close();
  ASSERT_TRUE(PumpUntil([&] { return server_->ClientCount() == limit - 1; }));
  clients.push_back(Connect());
  EXPECT_EQ(server_->ClientCount(), limit);
  refused();
  EXPECT_EQ(LogCount(refusing), 2);
}

TEST(KeyServerPortTest, APortInUseIsLoggedAndTheProgramRunsOnWithoutTheServer) {
  QTcpServer other;
  ASSERT_TRUE(other.listen(QHostAddress::Any, 0));
  const uint16_t port = other.serverPort();
  fakes::RecordingShell shell;

  KeyServer server(shell, port);

  EXPECT_FALSE(server.IsListening());
  EXPECT_EQ(server.ServerPort(), 0);
  // Reported once the event loop runs, like the server's other events.
  ASSERT_TRUE(PumpUntil([&] { return !shell.logLines.empty(); }));
  ASSERT_EQ(shell.logLines.size(), 1u);
  EXPECT_NE(shell.logLines[0].find("cannot listen on TCP port " + std::to_string(port)),
            std::string::npos)
      << shell.logLines[0];
  server.BroadcastKey("ok");
  EXPECT_EQ(server.ClientCount(), 0u);
}

}  // namespace
}  // namespace trellon
