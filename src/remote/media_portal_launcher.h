#pragma once

#include <string>
#include <string_view>

#include "base/control_models.h"
#include "base/shell_services.h"
#include "remote/key_interfaces.h"
#include "remote/process_control.h"
#include "remote/window_list.h"

namespace trellon {

// The controls of the "RC Home" settings page, read at the moment of use.
struct MediaPortalSettings {
  const CheckBoxModel& cbHomeStart;
  const CheckBoxModel& cbHomeClose;
  const SpinEditModel& edHomeClose;
  const CheckBoxModel& cbHomeKill;
  const SpinEditModel& edHomeKill;
  const TextEditModel& edHomeMediaPortal;
};

// The file-name part of a path: everything after its last "\", "/" or ":".
std::string FileNamePart(std::string_view path);
// Upper-cases the letters a to z and nothing else.
std::string UpperCaseAscii(std::string_view text);
// The name processes and windows are matched against: the upper-cased file-name part.
std::string MediaPortalTargetName(std::string_view path);

// The home key's hold on the media-centre program: a press starts it when it is not running,
// holding the key asks its window to close and later ends its process. Each action can be
// switched off; close and kill fire once per press. Every failure is silent; the overlay says
// what is being tried before the outcome is known. Main thread only; it keeps no state between
// events.
class MediaPortalLauncher final : public HomeActions {
 public:
  MediaPortalLauncher(const MediaPortalSettings& settings, ProcessControl& processes,
                      WindowList& windows, OverlaySink& overlay);

  // Start (on the press only), then close, then kill, each under its own condition.
  void RunHomeActions(double heldTimeMs, bool& homeCloseDone, bool& homeKillDone) override;

  // The first process whose executable's file name matches; 0 when none does.
  ProcessId FindMediaPortalProcess();
  // The topmost window without owner whose process's executable matches; 0 when none does.
  WindowHandle FindMediaPortalWindow();
  // The executable name of the process that shows the window; empty when unknown.
  std::string ProcessExeName(WindowHandle window);
  void StartMediaPortal();

 private:
  std::string TargetName() const;

  MediaPortalSettings settings_;
  ProcessControl& processes_;
  WindowList& windows_;
  OverlaySink& overlay_;
};

}  // namespace trellon
