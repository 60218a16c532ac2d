#include "crash/call_site_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace trellon {
namespace {

constexpr uintptr_t kFunction = 0x1000;

// An exception table with five call sites of 16 bytes each from kFunction + 0x10 on: no landing
// pad; cleanup only; a catch clause; a cleanup followed by a throw(...) list; a
// chain of cleanups only. Call sites are uleb128 (as GCC writes them) or udata4.
std::vector<uint8_t> Table(bool fixedWidth) {
  std::vector<uint8_t> table = {0xff,   // landing pads relative to the function's start
                                0x9b,   // a type table (indirect, pc-relative sdata4) ...
                                0x7f};  // ... 127 bytes on, which the reader skips
  const std::vector<std::vector<uint32_t>> sites = {{0x10, 0x10, 0, 0},
                                                    {0x20, 0x10, 0x80, 0},
                                                    {0x30, 0x10, 0x90, 1},
                                                    {0x40, 0x10, 0xa0, 3},
                                                    {0x50, 0x10, 0xb0, 7}};
  std::vector<uint8_t> entries;
  for (const auto& site : sites) {
    for (size_t field = 0; field < 3; ++field) {
      if (fixedWidth) {
        for (int byte = 0; byte < 4; ++byte) entries.push_back((site[field] >> (8 * byte)) & 0xff);
      } else {
        entries.push_back(static_cast<uint8_t>(site[field] & 0x7f));
        if (site[field] > 0x7f) {
          entries.back() |= 0x80;
          entries.push_back(static_cast<uint8_t>(site[field] >> 7));
        }
      }
    }
    entries.push_back(static_cast<uint8_t>(site[3]));  // action (uleb128)
  }
  table.push_back(fixedWidth ? 0x03 : 0x01);
  table.push_back(static_cast<uint8_t>(entries.size()));
  table.insert(table.end(), entries.begin(), entries.end());
  // Action records (filter, displacement to the next), numbered from 1 by byte offset.
  const std::vector<uint8_t> actions = {0x01, 0x00,   // 1: catch clause
                                        0x00, 0x01,   // 3: cleanup, then the record at 5
                                        0x7f, 0x00,   // 5: throw(...) list
                                        0x00, 0x00};  // 7: cleanup only
  table.insert(table.end(), actions.begin(), actions.end());
  return table;
}

TEST(CallSiteTableTest, FramesThatExamineAreThoseWithCatchClausesOrThrowLists) {
  for (const bool fixedWidth : {false, true}) {
    const std::vector<uint8_t> table = Table(fixedWidth);
    auto at = [&](uintptr_t offset) {
      return ClassifyCallSite(table.data(), kFunction, kFunction + offset);
    };
    EXPECT_EQ(at(0x15), FrameHandling::None) << fixedWidth;
    EXPECT_EQ(at(0x20), FrameHandling::Cleanup) << fixedWidth;
    EXPECT_EQ(at(0x3f), FrameHandling::Examines) << fixedWidth;
    EXPECT_EQ(at(0x48), FrameHandling::Examines) << fixedWidth;
    EXPECT_EQ(at(0x50), FrameHandling::Cleanup) << fixedWidth;
    // Calls the table does not list may not throw.
    EXPECT_EQ(at(0x08), FrameHandling::Terminates) << fixedWidth;
    EXPECT_EQ(at(0x60), FrameHandling::Terminates) << fixedWidth;
  }
  EXPECT_EQ(ClassifyCallSite(nullptr, kFunction, kFunction), FrameHandling::None);
}

TEST(CallSiteTableTest, AnEncodingItDoesNotKnowIsNeverReported) {
  std::vector<uint8_t> table = Table(false);
  table[3] = 0x21;  // call sites relative to the text segment
  EXPECT_EQ(ClassifyCallSite(table.data(), kFunction, kFunction + 0x30), FrameHandling::None);
}

}  // namespace
}  // namespace trellon
