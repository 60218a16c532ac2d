#include "app/event_log.h"

#include <ostream>

namespace trellon {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string current;
  bool pending = false;  // a line has begun that is not yet in lines
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(std::move(current));
      current.clear();
      pending = false;
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      continue;
    }
    current += c;
    pending = true;
  }
  if (pending) lines.push_back(std::move(current));
  return lines;
}

void CutUtf8(std::string& text, size_t maxBytes) {
  if (text.size() <= maxBytes) return;
  size_t end = maxBytes;
  // Not inside a character: continuation bytes are 10xxxxxx.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
}

EventLog::EventLog(Clock& clock, FileWriter& writer, std::string path, LogTimeFormat timeFormat,
                   std::ostream* echo)
    : clock_(clock),
      writer_(writer),
      path_(std::move(path)),
      timeFormat_(std::move(timeFormat)),
      echo_(echo) {}

void EventLog::SetView(LogView* view) {
  view_ = view;
  if (view_) view_->ShowLines(lines_);
}

void EventLog::Load() {
  std::string content;
  const FileRead read = writer_.ReadNewest(path_, content, kMaxLoadBytes, ReadPart::Tail);
  std::vector<std::string> loaded = SplitLines(content);
  content.clear();
  // The text of a cut file begins inside a line; that piece goes unless it is all there is.
  if (read.cut && loaded.size() > 1) loaded.erase(loaded.begin());
  const size_t skipped = loaded.size() > kMaxLines ? loaded.size() - kMaxLines : 0;
  lines_.clear();
  for (auto line = loaded.begin() + static_cast<std::ptrdiff_t>(skipped); line != loaded.end();
       ++line) {
    if (line->size() > kMaxLoadedLineBytes) CutUtf8(*line, kMaxLoadedLineBytes);
    lines_.push_back(std::move(*line));
  }
  if (view_) view_->ShowLines(lines_);
  if (read.status == FileStatus::Unreadable) {
    WriteLog("Cannot read the log file " + read.reason + "; the log starts empty");
  }
}

void EventLog::WriteLog(const std::string& message) {
  WriteLogLines({message});
}

void EventLog::WriteLogLines(const std::vector<std::string>& messages) {
  if (view_) {
    if (auto edited = view_->TakeEditedLines()) {
      lines_.assign(std::make_move_iterator(edited->begin()),
                    std::make_move_iterator(edited->end()));
    }
  }
  const std::string stamp = timeFormat_.Format(clock_.Now()) + ": ";
  for (const std::string& message : messages) {
    std::vector<std::string> added = SplitLines(message);
    if (added.empty()) added.emplace_back();
    added.front().insert(0, stamp);
    for (std::string& line : added) {
      if (echo_) *echo_ << line << '\n';
      if (view_) view_->AppendLine(line);
      lines_.push_back(std::move(line));
    }
  }
  if (echo_) echo_->flush();
  if (lines_.size() > kMaxLines) {
    const size_t excess = lines_.size() - kMaxLines;
    lines_.erase(lines_.begin(), lines_.begin() + static_cast<std::ptrdiff_t>(excess));
    if (view_) view_->RemoveFirstLines(excess);
  }
  Save();
}

void EventLog::Save() {
  size_t size = 0;
  for (const std::string& line : lines_) size += line.size() + 2;
  std::string content;
  content.reserve(size);
  for (const std::string& line : lines_) {
    content += line;
    content += "\r\n";
  }
  writer_.Write(path_, std::move(content), [this](const std::string& failure) { Saved(failure); });
}

void EventLog::Saved(const std::string& failure) {
  // Reporting through WriteLog would fail again: standard error is the only place left.
  if (!failure.empty() && saveError_.empty() && echo_) {
    *echo_ << "Trellon: the log file cannot be written: " << failure << std::endl;
  }
  saveError_ = failure;
}

}  // namespace trellon
