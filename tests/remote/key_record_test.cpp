#include "remote/key_record.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace trellon {
namespace {

TEST(KeyRecordTest, OkRecordIsLaidOutByteForByte) {
  std::array<uint8_t, 312> expected{};
  expected[0] = 0xA0;  // 160, little-endian
  expected[6] = 0x04;  // 4, little-endian
  const char remote[] = "vx710";
  for (size_t i = 0; i < 5; ++i) expected[12 + i] = static_cast<uint8_t>(remote[i]);
  expected[92] = 'o';
  expected[93] = 'k';

  const KeyRecord record("ok");

  ASSERT_EQ(record.Bytes().size(), 312u);
  EXPECT_EQ(record.Bytes(), expected);
}

TEST(KeyRecordTest, KeyNameFillsItsFieldOnlyAndAlwaysKeepsATerminator) {
  const KeyRecord longest("pictures");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&longest.Bytes()[92])), "pictures");

  // Too long for the 20-byte field: cut to 19 characters, nothing spills into the zero block.
  const KeyRecord tooLong("abcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&tooLong.Bytes()[92])),
            "abcdefghijklmnopqrs");
  EXPECT_EQ(tooLong.Bytes()[111], 0);
  for (size_t i = 112; i < 312; ++i) ASSERT_EQ(tooLong.Bytes()[i], 0) << "byte " << i;

  const KeyRecord empty("");
  for (size_t i = 92; i < 312; ++i) ASSERT_EQ(empty.Bytes()[i], 0) << "byte " << i;
  EXPECT_EQ(empty.Bytes()[12], 'v');
}

}  // namespace
}  // namespace trellon
