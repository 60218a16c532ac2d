#include "support/sim_process.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace trellon::test_support {
namespace {

// "12.345 hello": the time stamp, a space, the event.
std::vector<SimProcess::Line> ParsedLines(const std::vector<std::string>& output) {
  std::vector<SimProcess::Line> lines;
  for (const auto& text : output) {
    SimProcess::Line line{-1.0, text};
    const size_t space = text.find(' ');
    char* parsed = nullptr;
    const double seconds = std::strtod(text.c_str(), &parsed);
    if (space != std::string::npos && parsed == text.c_str() + space) {
      line.simSeconds = seconds;
      line.text = text.substr(space + 1);
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

ChildProcess::Options SimOptions(const std::string& executable,
                                 const std::vector<std::string>& options,
                                 const std::string& errorFile) {
  ChildProcess::Options child({executable, "--time"});
  child.argv.insert(child.argv.end(), options.begin(), options.end());
  child.pipeInput = true;
  child.captureOutput = true;
  child.errorFile = errorFile;
  return child;
}

}  // namespace

SimProcess::SimProcess(const std::string& executable, const std::vector<std::string>& options,
                       const std::string& errorFile)
    : process_(SimOptions(executable, options, errorFile)) {
  // The device line comes once the device (and its link) is ready for the program.
  WaitUntil(
      [this](const std::vector<Line>& lines) {
        for (const auto& line : lines) {
          if (line.text.starts_with("device ")) device_ = line.text.substr(7);
        }
        return !device_.empty();
      },
      10000);
}

std::vector<SimProcess::Line> SimProcess::Lines() const {
  return ParsedLines(process_.Lines());
}

size_t SimProcess::Count(const std::string& text) const {
  const auto lines = Lines();
  return std::count_if(lines.begin(), lines.end(),
                       [&text](const Line& line) { return line.text == text; });
}

bool SimProcess::WaitUntil(const std::function<bool(const std::vector<Line>&)>& done,
                           int timeoutMs) {
  return process_.WaitForOutput(
      [&done](const std::vector<std::string>& lines) { return done(ParsedLines(lines)); },
      timeoutMs);
}

std::optional<size_t> SimProcess::WaitFor(const std::string& text, int timeoutMs, size_t from) {
  std::optional<size_t> found;
  WaitUntil(
      [&](const std::vector<Line>& lines) {
        for (size_t i = from; i < lines.size() && !found; ++i) {
          if (lines[i].text == text) found = i;
        }
        return found.has_value();
      },
      timeoutMs);
  return found;
}

bool SimProcess::WaitForNext(const std::string& text, int timeoutMs) {
  const auto found = WaitFor(text, timeoutMs, next_);
  if (found) next_ = *found + 1;
  return found.has_value();
}

std::string SimProcess::Transcript() const {
  std::string text;
  for (const auto& line : Lines()) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%8.3f ", line.simSeconds);
    text += stamp + line.text + "\n";
  }
  return text;
}

}  // namespace trellon::test_support
