#pragma once

#include <vector>

namespace trellon::test_support {

// Uses up every file descriptor this process may open, under a lowered limit, for as long as
// the object lives (or until Release); the limit comes back at the end.
class DescriptorExhaustion {
 public:
  DescriptorExhaustion();
  ~DescriptorExhaustion();
  DescriptorExhaustion(const DescriptorExhaustion&) = delete;
  DescriptorExhaustion& operator=(const DescriptorExhaustion&) = delete;

  void Release();

 private:
  std::vector<int> held_;
  unsigned long long savedLimit_ = 0;
};

}  // namespace trellon::test_support
