#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

#include "support/descriptor_exhaustion.h"

namespace trellon::test_support {
namespace {

// Low enough that filling it is quick, high enough for what the test process already holds.
constexpr rlim_t kLoweredLimit = 512;

}  // namespace

DescriptorExhaustion::DescriptorExhaustion() {
  rlimit limit{};
  ::getrlimit(RLIMIT_NOFILE, &limit);
  savedLimit_ = limit.rlim_cur;
  limit.rlim_cur = std::min(limit.rlim_cur, kLoweredLimit);
  ::setrlimit(RLIMIT_NOFILE, &limit);
  for (;;) {
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd < 0) break;
    held_.push_back(fd);
  }
}

DescriptorExhaustion::~DescriptorExhaustion() {
  Release();
  rlimit limit{};
  ::getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = static_cast<rlim_t>(savedLimit_);
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

void DescriptorExhaustion::Release() {
  for (const int fd : held_) ::close(fd);
  held_.clear();
}

}  // namespace trellon::test_support
