#include "link/com_settings.h"

namespace trellon {

// --- TComParity

void TComParity::SetBits(TParityBits value) {
  if (StoreChanged(bits_, value)) Changed();
}
void TComParity::SetCheck(bool value) {
  if (StoreChanged(check_, value)) Changed();
}
void TComParity::SetReplace(bool value) {
  if (StoreChanged(replace_, value)) Changed();
}
void TComParity::SetReplaceChar(uint8_t value) {
  if (StoreChanged(replaceChar_, value)) Changed();
}

void TComParity::Assign(const TComParity& source) {
  CopyFields(source);
  Changed();
}

void TComParity::CopyFields(const TComParity& other) {
  bits_ = other.bits_;
  check_ = other.check_;
  replace_ = other.replace_;
  replaceChar_ = other.replaceChar_;
}

void TComParity::Changed() {
  if (owner_) owner_->ApplyLineSettings();
}

// --- TComFlowControl

void TComFlowControl::SetOutCTSFlow(bool value) {
  if (StoreChanged(outCTSFlow_, value)) Changed();
}
void TComFlowControl::SetOutDSRFlow(bool value) {
  if (StoreChanged(outDSRFlow_, value)) Changed();
}
void TComFlowControl::SetControlDTR(TDTRFlowControl value) {
  if (StoreChanged(controlDTR_, value)) Changed();
}
void TComFlowControl::SetControlRTS(TRTSFlowControl value) {
  if (StoreChanged(controlRTS_, value)) Changed();
}
void TComFlowControl::SetXonXoffOut(bool value) {
  if (StoreChanged(xonXoffOut_, value)) Changed();
}
void TComFlowControl::SetXonXoffIn(bool value) {
  if (StoreChanged(xonXoffIn_, value)) Changed();
}
void TComFlowControl::SetDSRSensitivity(bool value) {
  if (StoreChanged(dsrSensitivity_, value)) Changed();
}
void TComFlowControl::SetTxContinueOnXoff(bool value) {
  if (StoreChanged(txContinueOnXoff_, value)) Changed();
}
void TComFlowControl::SetXonChar(uint8_t value) {
  if (StoreChanged(xonChar_, value)) Changed();
}
void TComFlowControl::SetXoffChar(uint8_t value) {
  if (StoreChanged(xoffChar_, value)) Changed();
}

TFlowControl TComFlowControl::FlowControl() const {
  if (controlRTS_ == TRTSFlowControl::rtsHandshake && outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_) {
    return TFlowControl::fcHardware;
  }
  if (controlRTS_ == TRTSFlowControl::rtsDisable && !outCTSFlow_ && xonXoffIn_ && xonXoffOut_) {
    return TFlowControl::fcSoftware;
  }
  if (controlRTS_ != TRTSFlowControl::rtsDisable || outCTSFlow_ || xonXoffIn_ || xonXoffOut_) {
    return TFlowControl::fcCustom;
  }
  return TFlowControl::fcNone;
}

void TComFlowControl::SetFlowControl(TFlowControl value) {
  if (value != TFlowControl::fcCustom) {
    controlRTS_ = TRTSFlowControl::rtsDisable;
    outCTSFlow_ = false;
    xonXoffIn_ = false;
    xonXoffOut_ = false;
  }
  if (value == TFlowControl::fcHardware) {
    controlRTS_ = TRTSFlowControl::rtsHandshake;
    outCTSFlow_ = true;
  } else if (value == TFlowControl::fcSoftware) {
    xonXoffIn_ = true;
    xonXoffOut_ = true;
  }
  Changed();
}

void TComFlowControl::Assign(const TComFlowControl& source) {
  CopyFields(source);
  Changed();
}

void TComFlowControl::CopyFields(const TComFlowControl& other) {
  outCTSFlow_ = other.outCTSFlow_;
  outDSRFlow_ = other.outDSRFlow_;
  controlDTR_ = other.controlDTR_;
  controlRTS_ = other.controlRTS_;
  xonXoffOut_ = other.xonXoffOut_;
  xonXoffIn_ = other.xonXoffIn_;
  dsrSensitivity_ = other.dsrSensitivity_;
  txContinueOnXoff_ = other.txContinueOnXoff_;
  xonChar_ = other.xonChar_;
  xoffChar_ = other.xoffChar_;
}

void TComFlowControl::Changed() {
  if (owner_) owner_->ApplyLineSettings();
}

// --- TComTimeouts

void TComTimeouts::SetReadInterval(int32_t value) {
  Set(readInterval_, value);
}
void TComTimeouts::SetReadTotalMultiplier(int32_t value) {
  Set(readTotalMultiplier_, value);
}
void TComTimeouts::SetReadTotalConstant(int32_t value) {
  Set(readTotalConstant_, value);
}
void TComTimeouts::SetWriteTotalMultiplier(int32_t value) {
  Set(writeTotalMultiplier_, value);
}
void TComTimeouts::SetWriteTotalConstant(int32_t value) {
  Set(writeTotalConstant_, value);
}

void TComTimeouts::Set(int32_t& field, int32_t value) {
  if (StoreChanged(field, value) && owner_) owner_->ApplyTimeoutSettings();
}

void TComTimeouts::Assign(const TComTimeouts& source) {
  CopyFields(source);
  if (owner_) owner_->ApplyTimeoutSettings();
}

void TComTimeouts::CopyFields(const TComTimeouts& other) {
  readInterval_ = other.readInterval_;
  readTotalMultiplier_ = other.readTotalMultiplier_;
  readTotalConstant_ = other.readTotalConstant_;
  writeTotalMultiplier_ = other.writeTotalMultiplier_;
  writeTotalConstant_ = other.writeTotalConstant_;
}

// --- TComBuffer

void TComBuffer::SetInputSize(int32_t value) {
  Set(inputSize_, value);
}
void TComBuffer::SetOutputSize(int32_t value) {
  Set(outputSize_, value);
}

void TComBuffer::Set(int32_t& field, int32_t value) {
  // Drivers take even sizes.
  if (value > 0 && value % 2 == 1) --value;
  if (StoreChanged(field, value) && owner_) owner_->ApplyBufferSizes();
}

void TComBuffer::Assign(const TComBuffer& source) {
  CopyFields(source);
  if (owner_) owner_->ApplyBufferSizes();
}

void TComBuffer::CopyFields(const TComBuffer& other) {
  inputSize_ = other.inputSize_;
  outputSize_ = other.outputSize_;
}

}  // namespace trellon
