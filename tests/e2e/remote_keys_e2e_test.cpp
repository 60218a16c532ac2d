// Remote-control keys typed at the virtual controller reach a media-centre client of the
// program's key server as key records, filtered for repeats.

#include <algorithm>
#include <vector>

#include "e2e_test_support.h"
#include "remote/key_record.h"

namespace trellon::e2e {
namespace {

using test_support::kPatienceMs;

std::vector<uint8_t> RecordOf(const char* keyName) {
  const KeyRecord record(keyName);
  return {record.Bytes().begin(), record.Bytes().end()};
}

class RemoteKeysEndToEnd : public EndToEndTest {
 protected:
  // The program attached, with one client connected to its key server.
  void StartWithClient() {
    StartAttached({"--quiet-ticks"});
    ASSERT_TRUE(client_.Connect(keyServerPort_, kPatienceMs))
        << "no key server on " << keyServerPort_;
    ASSERT_TRUE(program_->WaitForLog("MediaPortal IRTrans connected", kPatienceMs));
  }

  KeyClient client_;
};

TEST_F(RemoteKeysEndToEnd, TypedKeyReachesTheClientAsItsRecord) {
  ASSERT_NO_FATAL_FAILURE(StartWithClient());
  sim_->Send("ok");
  ASSERT_TRUE(sim_->WaitFor("sent key ok (66)", kPatienceMs));
  client_.ReadUntil(1, 3000);
  ASSERT_EQ(client_.Records().size(), 1u) << "no record for the key";
  EXPECT_EQ(client_.Records()[0].bytes, RecordOf("ok"));
  // One key, one record, nothing more: the record of the next key follows it directly.
  sim_->Send("down");
  client_.ReadUntil(2, 3000);
  ASSERT_EQ(client_.Records().size(), 2u) << "no record for the next key";
  EXPECT_EQ(client_.Records()[1].bytes, RecordOf("down"));
  EXPECT_EQ(client_.PartialBytes(), 0u);
  EXPECT_FALSE(client_.Closed());
}

TEST_F(RemoteKeysEndToEnd, HeldKeyIsForwardedWithFilteredRepeats) {
  ASSERT_NO_FATAL_FAILURE(StartWithClient());
  // "up", then a repeat code every 108 ms for 1.5 s: with the default filter (bogus after
  // 250 ms, first repeat after 500 ms, no spacing) the press and every repeat from about
  // 500 ms on get through, 1 + (1500 - 500) / 108 records.
  sim_->Send("hold up 1500");
  // Records are read as they come, so that their arrival times mean something.
  const auto holdEnded = [this] {
    const Lines lines = sim_->Lines();
    return std::any_of(lines.begin(), lines.end(),
                       [](const auto& line) { return line.text.starts_with("sent repeats"); });
  };
  for (int waited = 0; !holdEnded() && waited < 8000; waited += 20) client_.ReadFor(20);
  ASSERT_TRUE(holdEnded()) << "the hold did not end";
  client_.ReadFor(800);
  const auto& records = client_.Records();
  EXPECT_EQ(client_.PartialBytes(), 0u);
  ASSERT_GE(records.size(), 2u);
  const auto up = RecordOf("up");
  for (size_t n = 0; n < records.size(); ++n) EXPECT_EQ(records[n].bytes, up) << "record " << n;
  EXPECT_GE(records.size(), 8u);
  EXPECT_LE(records.size(), 12u);
  // The first repeat is held back for about half a second; the others follow the codes.
  const double firstRepeat = SecondsBetween(records[0].completed, records[1].completed);
  EXPECT_GT(firstRepeat, 0.35);
  EXPECT_LT(firstRepeat, 0.8);
  if (records.size() > 2) {
    const double spacing =
        SecondsBetween(records[1].completed, records.back().completed) / double(records.size() - 2);
    EXPECT_GT(spacing, 0.05);
    EXPECT_LT(spacing, 0.25);
  }
}

}  // namespace
}  // namespace trellon::e2e
