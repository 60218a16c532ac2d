#pragma once

// Shared by the launcher's tests that run the media-centre stand-in as a real process.

#include <unistd.h>

#include <filesystem>
#include <string>

namespace trellon::test_support {

inline const char* StandInPath() {
  return TRELLON_MEDIA_CENTRE_STAND_IN;
}

// A name no other test process uses at the same time, so that searches by name find only ours.
inline std::string UniqueName(const std::string& stem) {
  static int counter = 0;
  return stem + "_" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
}

// Copies the stand-in program to dir/name, executable.
inline std::filesystem::path CopyStandIn(const std::filesystem::path& dir,
                                         const std::string& name) {
  const std::filesystem::path target = dir / name;
  std::filesystem::copy_file(StandInPath(), target);
  std::filesystem::permissions(target, std::filesystem::perms::owner_all);
  return target;
}

}  // namespace trellon::test_support
