#include "remote/media_portal_launcher.h"

namespace trellon {
namespace {

constexpr int32_t kOverlaySeconds = 2;

}  // namespace

std::string FileNamePart(std::string_view path) {
  const size_t separator = path.find_last_of("\\/:");
  return std::string(separator == std::string_view::npos ? path : path.substr(separator + 1));
}

std::string UpperCaseAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

std::string MediaPortalTargetName(std::string_view path) {
  return UpperCaseAscii(FileNamePart(path));
}

MediaPortalLauncher::MediaPortalLauncher(const MediaPortalSettings& settings,
                                         ProcessControl& processes, WindowList& windows,
                                         OverlaySink& overlay)
    : settings_(settings), processes_(processes), windows_(windows), overlay_(overlay) {}

void MediaPortalLauncher::RunHomeActions(double heldTimeMs, bool& homeCloseDone,
                                         bool& homeKillDone) {
  // Repeats never start anything; the process search runs only on the press.
  if (settings_.cbHomeStart.Checked() && heldTimeMs == 0.0 && FindMediaPortalProcess() == 0) {
    overlay_.ShowOverlayMessage("Starting MediaPortal", kOverlaySeconds);
    StartMediaPortal();
  }
  if (settings_.cbHomeClose.Checked() && heldTimeMs >= settings_.edHomeClose.Value() &&
      !homeCloseDone) {
    overlay_.ShowOverlayMessage("Closing MediaPortal", kOverlaySeconds);
    homeCloseDone = true;
    if (const WindowHandle window = FindMediaPortalWindow()) windows_.PostClose(window);
  }
  // The kill does not wait for the close: it ends whatever matches at this moment.
  if (settings_.cbHomeKill.Checked() && heldTimeMs >= settings_.edHomeKill.Value() &&
      !homeKillDone) {
    overlay_.ShowOverlayMessage("Killing MediaPortal", kOverlaySeconds);
    homeKillDone = true;
    if (const ProcessId pid = FindMediaPortalProcess()) processes_.Terminate(pid);
  }
}

ProcessId MediaPortalLauncher::FindMediaPortalProcess() {
  const std::string target = TargetName();
  // A path that ends in a separator names no program: nothing may match it.
  if (target.empty()) return 0;
  const auto snapshot = processes_.Snapshot();
  if (!snapshot) return 0;
  for (const ProcessEntry& entry : *snapshot) {
    if (MediaPortalTargetName(entry.exeName) == target) return entry.pid;
  }
  return 0;
}

WindowHandle MediaPortalLauncher::FindMediaPortalWindow() {
  const std::string target = TargetName();
  if (target.empty()) return 0;
  for (const TopLevelWindow& window : windows_.TopLevelWindows()) {
    if (window.owner != 0) continue;
    // The name as the process list reports it, without cutting it to its file-name part.
    if (UpperCaseAscii(ProcessExeName(window.handle)) == target) return window.handle;
  }
  return 0;
}

std::string MediaPortalLauncher::ProcessExeName(WindowHandle window) {
  if (window == 0) return {};
  const ProcessId pid = windows_.WindowProcessId(window);
  if (pid == 0) return {};
  return processes_.ExeName(pid);
}

void MediaPortalLauncher::StartMediaPortal() {
  processes_.ShellExecute(settings_.edHomeMediaPortal.Text());
}

std::string MediaPortalLauncher::TargetName() const {
  return MediaPortalTargetName(settings_.edHomeMediaPortal.Text());
}

}  // namespace trellon
