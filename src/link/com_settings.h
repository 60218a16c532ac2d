#pragma once

#include <cstdint>

#include "link/com_types.h"

namespace trellon {

// Stores value and reports whether the field changed: a property set to the value it has does
// not apply the settings again.
template <typename T>
bool StoreChanged(T& field, T value) {
  if (field == value) return false;
  field = value;
  return true;
}

// What a settings group asks of the port that owns it: apply the group again (nothing while the
// port is closed; a failure raises EComPort).
class ComSettingsOwner {
 public:
  virtual void ApplyLineSettings() = 0;
  virtual void ApplyTimeoutSettings() = 0;
  virtual void ApplyBufferSizes() = 0;

 protected:
  ~ComSettingsOwner() = default;
};

// Each group below is either owned by a port (changes re-apply the group there) or stands
// alone (a value to assign to a port's group with Assign). Copies stand alone. Setting a
// property to the value it has does nothing; Assign always applies.

class TComParity {
 public:
  TComParity() = default;
  explicit TComParity(ComSettingsOwner* owner) : owner_(owner) {}
  TComParity(const TComParity& other) { CopyFields(other); }
  TComParity& operator=(const TComParity& other) = delete;

  TParityBits Bits() const { return bits_; }
  void SetBits(TParityBits value);
  bool Check() const { return check_; }
  void SetCheck(bool value);
  bool Replace() const { return replace_; }
  void SetReplace(bool value);
  uint8_t ReplaceChar() const { return replaceChar_; }
  void SetReplaceChar(uint8_t value);

  void Assign(const TComParity& source);

 private:
  void CopyFields(const TComParity& other);
  void Changed();

  ComSettingsOwner* owner_ = nullptr;
  TParityBits bits_ = TParityBits::prNone;
  bool check_ = false;
  bool replace_ = false;
  uint8_t replaceChar_ = 0;
};

class TComFlowControl {
 public:
  TComFlowControl() = default;
  explicit TComFlowControl(ComSettingsOwner* owner) : owner_(owner) {}
  TComFlowControl(const TComFlowControl& other) { CopyFields(other); }
  TComFlowControl& operator=(const TComFlowControl& other) = delete;

  bool OutCTSFlow() const { return outCTSFlow_; }
  void SetOutCTSFlow(bool value);
  bool OutDSRFlow() const { return outDSRFlow_; }
  void SetOutDSRFlow(bool value);
  TDTRFlowControl ControlDTR() const { return controlDTR_; }
  void SetControlDTR(TDTRFlowControl value);
  TRTSFlowControl ControlRTS() const { return controlRTS_; }
  void SetControlRTS(TRTSFlowControl value);
  bool XonXoffOut() const { return xonXoffOut_; }
  void SetXonXoffOut(bool value);
  bool XonXoffIn() const { return xonXoffIn_; }
  void SetXonXoffIn(bool value);
  bool DSRSensitivity() const { return dsrSensitivity_; }
  void SetDSRSensitivity(bool value);
  bool TxContinueOnXoff() const { return txContinueOnXoff_; }
  void SetTxContinueOnXoff(bool value);
  uint8_t XonChar() const { return xonChar_; }
  void SetXonChar(uint8_t value);
  uint8_t XoffChar() const { return xoffChar_; }
  void SetXoffChar(uint8_t value);

  // The preset that the RTS control, CTS output flow and XON/XOFF flags amount to.
  TFlowControl FlowControl() const;
  // Sets those four fields to a preset (fcCustom keeps them), then applies the line settings.
  void SetFlowControl(TFlowControl value);

  void Assign(const TComFlowControl& source);

 private:
  void CopyFields(const TComFlowControl& other);
  void Changed();

  ComSettingsOwner* owner_ = nullptr;
  bool outCTSFlow_ = false;
  bool outDSRFlow_ = false;
  TDTRFlowControl controlDTR_ = TDTRFlowControl::dtrDisable;
  TRTSFlowControl controlRTS_ = TRTSFlowControl::rtsDisable;
  bool xonXoffOut_ = false;
  bool xonXoffIn_ = false;
  bool dsrSensitivity_ = false;
  bool txContinueOnXoff_ = false;
  uint8_t xonChar_ = 17;
  uint8_t xoffChar_ = 19;
};

// Time-outs in milliseconds; -1 stands for "no limit" in the interval (MAXDWORD).
class TComTimeouts {
 public:
  TComTimeouts() = default;
  explicit TComTimeouts(ComSettingsOwner* owner) : owner_(owner) {}
  TComTimeouts(const TComTimeouts& other) { CopyFields(other); }
  TComTimeouts& operator=(const TComTimeouts& other) = delete;

  int32_t ReadInterval() const { return readInterval_; }
  void SetReadInterval(int32_t value);
  int32_t ReadTotalMultiplier() const { return readTotalMultiplier_; }
  void SetReadTotalMultiplier(int32_t value);
  int32_t ReadTotalConstant() const { return readTotalConstant_; }
  void SetReadTotalConstant(int32_t value);
  int32_t WriteTotalMultiplier() const { return writeTotalMultiplier_; }
  void SetWriteTotalMultiplier(int32_t value);
  int32_t WriteTotalConstant() const { return writeTotalConstant_; }
  void SetWriteTotalConstant(int32_t value);

  void Assign(const TComTimeouts& source);

 private:
  void CopyFields(const TComTimeouts& other);
  void Set(int32_t& field, int32_t value);

  ComSettingsOwner* owner_ = nullptr;
  int32_t readInterval_ = -1;
  int32_t readTotalMultiplier_ = 0;
  int32_t readTotalConstant_ = 0;
  int32_t writeTotalMultiplier_ = 100;
  int32_t writeTotalConstant_ = 1000;
};

// Driver queue sizes. A positive odd size is stored one smaller (1025 becomes 1024).
class TComBuffer {
 public:
  TComBuffer() = default;
  explicit TComBuffer(ComSettingsOwner* owner) : owner_(owner) {}
  TComBuffer(const TComBuffer& other) { CopyFields(other); }
  TComBuffer& operator=(const TComBuffer& other) = delete;

  int32_t InputSize() const { return inputSize_; }
  void SetInputSize(int32_t value);
  int32_t OutputSize() const { return outputSize_; }
  void SetOutputSize(int32_t value);

  void Assign(const TComBuffer& source);

 private:
  void CopyFields(const TComBuffer& other);
  void Set(int32_t& field, int32_t value);

  ComSettingsOwner* owner_ = nullptr;
  int32_t inputSize_ = 1024;
  int32_t outputSize_ = 1024;
};

}  // namespace trellon
