#include "frame_decoder.h"

#include <cstdio>

#include "protocol/controller_protocol.h"

namespace trellon::sim {
namespace {

using namespace trellon::vx710;

std::string Hex(uint8_t byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", byte);
  return text;
}

std::string DescribeFan(const char* which, uint8_t value) {
  std::string line = std::string("fan ") + which + " " + std::to_string(value);
  if (value > kFanMax) return line + " (out of range)";
  return line + " (" + std::to_string(FanPercentForValue(value)) + " %)";
}

bool StartsTwoByteFrame(uint8_t byte) {
  return byte == kHello || byte == kAttachConfirm || byte == kDetach || byte == kFanRear ||
         byte == kFanFront;
}

}  // namespace

std::string DescribeFrame(const ProgramFrame& frame) {
  switch (frame.kind) {
    case ProgramFrame::Kind::Hello:
      return "hello";
    case ProgramFrame::Kind::Attach:
      return "attach";
    case ProgramFrame::Kind::FanRear:
      return DescribeFan("rear", frame.value);
    case ProgramFrame::Kind::FanFront:
      return DescribeFan("front", frame.value);
    case ProgramFrame::Kind::Tick:
      return "tick";
    case ProgramFrame::Kind::Detach:
      return "detach";
    case ProgramFrame::Kind::Unknown:
      break;
  }
  return "unknown " + Hex(frame.value);
}

std::vector<ProgramFrame> FrameDecoder::Feed(std::span<const uint8_t> bytes, uint32_t now) {
  std::vector<ProgramFrame> frames = Expire(now);
  for (const uint8_t byte : bytes) {
    if (pending_) {
      const uint8_t first = *pending_;
      pending_.reset();
      if (first == kFanRear || first == kFanFront) {
        // Any byte is a fan value; one above the maximum is shown as out of range.
        frames.push_back(
            {first == kFanRear ? ProgramFrame::Kind::FanRear : ProgramFrame::Kind::FanFront, byte});
        continue;
      }
      if (byte == first) {
        frames.push_back({first == kHello           ? ProgramFrame::Kind::Hello
                          : first == kAttachConfirm ? ProgramFrame::Kind::Attach
                                                    : ProgramFrame::Kind::Detach,
                          0});
        continue;
      }
      // A doubled frame broken off: the first byte stands alone, this one starts afresh.
      frames.push_back({ProgramFrame::Kind::Unknown, first});
    }
    if (StartsTwoByteFrame(byte)) {
      pending_ = byte;
      pendingSince_ = now;
    } else if (byte == kTick) {
      frames.push_back({ProgramFrame::Kind::Tick, 0});
    } else {
      frames.push_back({ProgramFrame::Kind::Unknown, byte});
    }
  }
  return frames;
}

std::vector<ProgramFrame> FrameDecoder::Expire(uint32_t now) {
  if (!pending_ || now - pendingSince_ < kPartialFrameMs) return {};
  const uint8_t lone = *pending_;
  pending_.reset();
  return {{ProgramFrame::Kind::Unknown, lone}};
}

std::optional<uint32_t> FrameDecoder::PendingDeadline() const {
  if (!pending_) return std::nullopt;
  return pendingSince_ + kPartialFrameMs;
}

}  // namespace trellon::sim
