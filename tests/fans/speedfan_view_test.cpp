#include "fans/speedfan_view.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <filesystem>

namespace trellon {
namespace {

// A real POSIX shared-memory block under a name of its own, removed again after the test.
class SpeedFanShmTest : public ::testing::Test {
 protected:
  SpeedFanShmTest() {
    static std::atomic<int> counter{0};
    name = "/trellon_test_sf_" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
    ::shm_unlink(name.c_str());
  }
  ~SpeedFanShmTest() override {
    if (publisher != nullptr) ::munmap(publisher, publisherSize);
    ::shm_unlink(name.c_str());
  }

  // Creates the block as SpeedFan would, writable, of the given size.
  void Publish(size_t size) {
    const int fd = ::shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    ASSERT_NE(p, MAP_FAILED);
    publisher = static_cast<uint8_t*>(p);
    publisherSize = size;
  }
  // Gives the block a new size through a descriptor of its own, as SpeedFan or anyone may.
  void Resize(size_t size) {
    const int fd = ::shm_open(name.c_str(), O_RDWR, 0);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
    ::close(fd);
  }
  // Writes a slot without the mapping, which faults on a block that has shrunk.
  void StoreSlot(int slot, int32_t value) {
    const int fd = ::shm_open(name.c_str(), O_RDWR, 0);
    ASSERT_GE(fd, 0);
    uint8_t bytes[4];
    for (int i = 0; i < 4; ++i)
      bytes[i] = static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i));
    EXPECT_EQ(::pwrite(fd, bytes, 4, 18 + 4 * slot), 4);
    ::close(fd);
  }
  // Takes the block away, as SpeedFan's end does.
  void Unpublish() {
    ::munmap(publisher, publisherSize);
    publisher = nullptr;
    ::shm_unlink(name.c_str());
  }
  void WriteSlot(int slot, int32_t value) {
    const uint32_t raw = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) publisher[18 + 4 * slot + i] = static_cast<uint8_t>(raw >> (8 * i));
  }
  // True while a descriptor of this process is open on the block.
  bool OpenInThisProcess() const {
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
      std::error_code ignored;
      if (std::filesystem::read_symlink(entry.path(), ignored) == "/dev/shm" + name) return true;
    }
    return false;
  }

  std::string name;
  uint8_t* publisher = nullptr;
  size_t publisherSize = 0;
};

TEST_F(SpeedFanShmTest, CreatesAZeroFilledPrivateBlockWhenAbsentAndLetsGoOfItAtDestruction) {
  {
    SharedMemorySpeedFanView view(name);
    ASSERT_TRUE(view.IsOpen()) << view.Error();
    EXPECT_TRUE(OpenInThisProcess());
    for (int slot = 0; slot < kSpeedFanSlotCount; ++slot) EXPECT_EQ(view.SlotValue(slot), 0);
    struct stat status {};
    ASSERT_EQ(::stat(("/dev/shm" + name).c_str(), &status), 0);
    EXPECT_EQ(status.st_size, 402);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
  }
  EXPECT_FALSE(OpenInThisProcess());
}

TEST_F(SpeedFanShmTest, ReadsLittleEndianSlotsOfAnExistingBlockLive) {
  Publish(kSpeedFanBlockSize);
  WriteSlot(0, 4550);
  WriteSlot(1, -149);
  WriteSlot(31, INT32_MIN);
  SharedMemorySpeedFanView view(name);
  ASSERT_TRUE(view.IsOpen()) << view.Error();
  EXPECT_EQ(view.SlotValue(0), 4550);
  EXPECT_EQ(view.SlotValue(1), -149);
  EXPECT_EQ(view.SlotValue(31), INT32_MIN);
  EXPECT_EQ(view.SlotValue(32), 0);
  EXPECT_EQ(view.SlotValue(-1), 0);
  WriteSlot(0, 6123);
  EXPECT_EQ(view.SlotValue(0), 6123) << "SpeedFan's later writes are seen";
}

TEST_F(SpeedFanShmTest, ShortBlockReadsZeroBeyondItsEnd) {
  Publish(100);
  WriteSlot(19, 3000);  // the last slot that fits: bytes 94..97
  SharedMemorySpeedFanView view(name);
  ASSERT_TRUE(view.IsOpen());
  EXPECT_EQ(view.SlotValue(19), 3000);
  EXPECT_EQ(view.SlotValue(20), 0);
  EXPECT_EQ(view.SlotValue(31), 0);
}

TEST_F(SpeedFanShmTest, AShrunkOrReplacedBlockReadsWhatIsThereNow) {
  Publish(kSpeedFanBlockSize);
  WriteSlot(0, 4550);
  WriteSlot(31, 7000);
  SharedMemorySpeedFanView view(name);
  ASSERT_TRUE(view.IsOpen()) << view.Error();
  EXPECT_EQ(view.SlotValue(31), 7000);

  // Cut to nothing while the program runs: every slot reads 0, and nothing faults.
  Resize(0);
  for (int slot = 0; slot < kSpeedFanSlotCount; ++slot) EXPECT_EQ(view.SlotValue(slot), 0);
  // Grown again, but only so far that slot 19 is the last one in it.
  Resize(100);
  StoreSlot(19, 3000);
  EXPECT_EQ(view.SlotValue(19), 3000);
  EXPECT_EQ(view.SlotValue(20), 0);

  // SpeedFan starts again and makes a new block under the same name: that one is read.
  Unpublish();
  Publish(kSpeedFanBlockSize);
  WriteSlot(0, 6000);
  EXPECT_EQ(view.SlotValue(0), 6000);
  EXPECT_EQ(view.SlotValue(19), 0);
}

TEST_F(SpeedFanShmTest, BlockThatCannotBeOpenedReadsZero) {
  SharedMemorySpeedFanView view("/no/such/dir");
  EXPECT_FALSE(view.IsOpen());
  EXPECT_FALSE(view.Error().empty());
  EXPECT_EQ(view.SlotValue(0), 0);
}

}  // namespace
}  // namespace trellon
