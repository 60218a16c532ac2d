#pragma once

#include <memory>
#include <string>

#include "app/key_output_settings.h"
#include "base/shell_services.h"
#include "remote/key_dispatch.h"
#include "remote/lirc_server.h"
#include "remote/virtual_keyboard.h"

namespace trellon {

// The outputs of the remote's keys for programs that are no key-server clients: the virtual
// keyboard and the LIRC socket, made from the settings at start-up and fed by key dispatch right
// after the key server. Every problem is logged once, at start; the program runs on without the
// output concerned. Main thread only.
class KeyOutputs {
 public:
  KeyOutputs(KeyDispatch& dispatch, LogSink& log) : dispatch_(dispatch), log_(log) {}
  ~KeyOutputs() { Stop(); }
  KeyOutputs(const KeyOutputs&) = delete;
  KeyOutputs& operator=(const KeyOutputs&) = delete;

  void Start(const KeyOutputSettings& settings);
  void Stop();

  bool HasVirtualKeyboard() const { return inputOutput_ != nullptr; }
  const LircServer* lirc() const { return lirc_.get(); }

 private:
  void StartVirtualKeyboard(const KeyOutputSettings& settings);

  KeyDispatch& dispatch_;
  LogSink& log_;
  std::unique_ptr<VirtualKeyboard> keyboard_;
  std::unique_ptr<InputKeyOutput> inputOutput_;
  std::unique_ptr<LircServer> lirc_;
};

}  // namespace trellon
