#pragma once

// What the end-to-end tests share: a fixture that owns the program and the simulator for one
// test (in a directory of its own) and helpers that read the simulator's lines.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "e2e_harness.h"

namespace trellon::e2e {

using Lines = std::vector<SimProcess::Line>;

// Indexes of the lines from `from` on whose text equals `text`.
inline std::vector<size_t> IndexesOf(const Lines& lines, const std::string& text, size_t from = 0) {
  std::vector<size_t> found;
  for (size_t i = from; i < lines.size(); ++i) {
    if (lines[i].text == text) found.push_back(i);
  }
  return found;
}

// The value byte of a fan command line "fan rear 88 (50 %)"; nothing for any other line.
inline std::optional<int> FanValue(const SimProcess::Line& line, const std::string& fan) {
  const std::string head = "fan " + fan + " ";
  if (!line.text.starts_with(head)) return std::nullopt;
  int value = -1;
  if (std::sscanf(line.text.c_str() + head.size(), "%d", &value) != 1) return std::nullopt;
  return value;
}

inline std::vector<int> FanValues(const Lines& lines, const std::string& fan, size_t from = 0) {
  std::vector<int> values;
  for (size_t i = from; i < lines.size(); ++i) {
    if (const auto value = FanValue(lines[i], fan)) values.push_back(*value);
  }
  return values;
}

// True when `wanted` appear in `messages` in this order (other messages may lie between them).
inline bool InOrder(const std::vector<std::string>& messages,
                    const std::vector<std::string>& wanted) {
  size_t next = 0;
  for (const auto& message : messages) {
    if (next < wanted.size() && message == wanted[next]) ++next;
  }
  return next == wanted.size();
}

inline std::string Joined(const std::vector<std::string>& messages) {
  std::string text;
  for (const auto& message : messages) text += message + "\n";
  return text;
}

inline bool SanitizerReport(const std::string& output) {
  return output.find("Sanitizer") != std::string::npos ||
         output.find("runtime error:") != std::string::npos;
}

// One test's program and simulator. Both are stopped in TearDown, whatever the test did, the
// program first, so that it can detach while the simulator still listens.
class EndToEndTest : public ::testing::Test {
 protected:
  void TearDown() override {
    // A sanitizer build reports on standard error, often only at the end.
    if (program_) {
      program_->Terminate();
      EXPECT_FALSE(SanitizerReport(program_->StandardError())) << program_->StandardError();
    }
    if (HasFailure() && sim_) {
      std::fprintf(stderr, "--- simulator ---\n%s", sim_->Transcript().c_str());
    }
    if (HasFailure() && program_) {
      std::fprintf(stderr, "--- program log ---\n%s--- program stderr ---\n%s",
                   Joined(program_->LogMessages()).c_str(), program_->StandardError().c_str());
    }
    program_.reset();
    sim_.reset();
  }

  SimProcess& StartSim(const std::vector<std::string>& options = {}) {
    sim_ = std::make_unique<SimProcess>(directory_, options);
    EXPECT_TRUE(sim_->Started()) << sim_->Transcript();
    return *sim_;
  }

  // The program on the simulator's device (or on `port` when given), with its key server on a
  // free port of its own.
  ProgramProcess& StartProgram(std::optional<std::string> port = std::nullopt) {
    keyServerPort_ = FreeTcpPort();
    program_ = std::make_unique<ProgramProcess>(
        directory_, Environment{{"TRELLON_COM3", port ? *port : sim_->LinkPath()},
                                {"TRELLON_KEY_SERVER_PORT", std::to_string(keyServerPort_)}});
    return *program_;
  }

  // Starts both and waits until the program has attached.
  void StartAttached(const std::vector<std::string>& simOptions = {}) {
    StartSim(simOptions);
    StartProgram();
    ASSERT_TRUE(sim_->WaitFor("attached", 30000)) << "the program never attached";
  }

  TemporaryDirectory directory_;
  std::unique_ptr<SimProcess> sim_;
  std::unique_ptr<ProgramProcess> program_;
  uint16_t keyServerPort_ = 0;
};

}  // namespace trellon::e2e
