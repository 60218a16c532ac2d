#pragma once

#include <cstddef>
#include <deque>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "app/log_time_format.h"
#include "base/clock.h"
#include "base/file_writer.h"
#include "base/shell_services.h"

namespace trellon {

// The widget that shows the log (the memo `log` on the Log page). The user may type into it;
// what the user typed becomes part of the log with the next line.
class LogView {
 public:
  virtual ~LogView() = default;
  virtual void ShowLines(const std::deque<std::string>& lines) = 0;
  virtual void AppendLine(const std::string& line) = 0;
  virtual void RemoveFirstLines(size_t count) = 0;
  // The view's lines when the user changed them since the last call, else nothing.
  virtual std::optional<std::vector<std::string>> TakeEditedLines() = 0;
};

// The event log: time-stamped lines, at most 3600, kept in "Trellon.log" (UTF-8, CRLF) and
// echoed to standard error. After every line the whole text goes to the file writer, which
// replaces the file through a temporary file: the file holds the lines of the last WriteLog once
// the writer caught up (at the latest when it is flushed at close). Main thread only.
class EventLog final : public LogSink {
 public:
  static constexpr size_t kMaxLines = 3600;
  // Load reads no more than the file's last kMaxLoadBytes (room for 3600 lines of over 1000
  // bytes), and cuts a loaded line after kMaxLoadedLineBytes: a huge file or line would hold
  // start-up for seconds and fill the memory, and the view shows no such line usefully.
  static constexpr size_t kMaxLoadBytes = 4 * 1024 * 1024;
  static constexpr size_t kMaxLoadedLineBytes = 4096;

  EventLog(Clock& clock, FileWriter& writer, std::string path,
           LogTimeFormat timeFormat = LogTimeFormat(), std::ostream* echo = nullptr);

  // The view is told every change from now on; nullptr detaches it.
  void SetView(LogView* view);

  // Replaces the lines by the file's last 3600 (the next WriteLog writes only those back); a
  // missing file leaves the log empty. A file that cannot be read, or is not a regular file,
  // leaves it empty too, and that is the log's first line.
  void Load();

  // Appends "<date> <time>: <message>" (a message with line breaks gives several lines), trims
  // to 3600 lines and hands the file's new text to the writer. A file that cannot be written
  // leaves the lines in the log; the failure goes to standard error only, once per streak of
  // failures, when the writer reports it.
  void WriteLog(const std::string& message) override;
  // Several messages with one time stamp each, as WriteLog would write them one after the other,
  // and the file written once for all of them (an exception report).
  void WriteLogLines(const std::vector<std::string>& messages);

  const std::deque<std::string>& Lines() const { return lines_; }
  // Why the last save the writer reported failed; empty when it succeeded.
  const std::string& SaveError() const { return saveError_; }

 private:
  void Save();
  void Saved(const std::string& failure);

  Clock& clock_;
  FileWriter& writer_;
  std::string path_;
  LogTimeFormat timeFormat_;
  std::ostream* echo_;
  LogView* view_ = nullptr;
  std::deque<std::string> lines_;
  std::string saveError_;
};

// Cuts text to at most maxBytes without splitting a UTF-8 character.
void CutUtf8(std::string& text, size_t maxBytes);

// Splits text at CR LF, LF or CR. A line break at the very end does not start another line.
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace trellon
