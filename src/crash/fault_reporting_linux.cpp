// Fault signals on Linux. The handler runs on whichever thread faulted, possibly while that
// thread holds the heap's or any other lock, so everything it does is async-signal-safe: plain
// system calls, the unwinder (which neither locks nor allocates once it has run), and state that
// was prepared before.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "base/file_writer.h"
#include "crash/crash_request.h"
#include "crash/fault_reporting.h"
#include "crash/live_stack_linux.h"
#include "crash/termination_note.h"

namespace trellon {
namespace {

constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr size_t kMaxSafeStateBytes = 16;
// The handler's own frames and the signal frame come before the faulting one.
constexpr size_t kCapturedFrames = CrashRequest::kMaxFrames + 16;
constexpr size_t kAlternateStackBytes = 64 * 1024;

// Everything the handler touches, prepared before it can run.
struct HandlerState {
  std::atomic<int> channel{-1};
  std::atomic<int> controllerPort{-1};
  uint8_t safeState[kMaxSafeStateBytes] = {};
  size_t safeStateLength = 0;
  std::atomic<pid_t> reportingThread{0};
  CrashRequest request;
  LiveFrame frames[kCapturedFrames];
};
HandlerState handlerState;
std::atomic<bool> installed{false};
alignas(16) unsigned char alternateStack[kAlternateStackBytes];

uint32_t FaultCode(int signal, int code) {
  switch (signal) {
    case SIGSEGV:
      return kAccessViolation;
    case SIGBUS:
      return kInPageError;
    case SIGFPE:
      return code == FPE_INTDIV ? kIntegerDivideByZero : kFloatInvalidOperation;
    case SIGILL:
      return kIllegalInstruction;
    default:
      return kFatalAppExit;
  }
}

uint64_t MonotonicMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000;
}

void SleepMs(long ms) {
  timespec pause{ms / 1000, (ms % 1000) * 1000000};
  while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
}

void PutControllerIntoSafeState() {
  const int port = handlerState.controllerPort.load();
  if (port < 0 || handlerState.safeStateLength == 0) return;
  ssize_t written = 0;
  do {
    written = write(port, handlerState.safeState, handlerState.safeStateLength);
  } while (written < 0 && errno == EINTR);
}

void FillRequest(int signal, const siginfo_t* info, const ucontext_t* context) {
  CrashRequest& request = handlerState.request;
  request.magic = CrashRequest::kMagic;
  request.processId = getpid();
  request.threadId = gettid();
  request.mainThread = request.threadId == request.processId;

  const auto& registers = context->uc_mcontext.gregs;
  request.context = TclProcessorContext();
  request.context.InstructionPointer = static_cast<uint64_t>(registers[REG_RIP]);
  request.context.StackPointer = static_cast<uint64_t>(registers[REG_RSP]);
  request.context.FramePointer = static_cast<uint64_t>(registers[REG_RBP]);
  request.context.RegisterCount = NGREG;
  for (size_t i = 0; i < NGREG && i < TclProcessorContext::kMaxRegisters; ++i) {
    request.context.Registers[i] = static_cast<uint64_t>(registers[i]);
  }

  request.record = TclExceptionRecord();
  request.record.ExceptionCode = FaultCode(signal, info->si_code);
  request.record.ExceptionAddress = request.context.InstructionPointer;
  request.record.NumberParameters = 3;
  request.record.ExceptionInformation[0] = static_cast<uint64_t>(signal);
  request.record.ExceptionInformation[1] =
      static_cast<uint64_t>(static_cast<int64_t>(info->si_code));
  request.record.ExceptionInformation[2] = reinterpret_cast<uintptr_t>(info->si_addr);

  // The walk passes the handler and the signal frame; the report starts at the interrupted
  // instruction. When the unwinder cannot get past it, that instruction is all there is.
  const size_t count = CaptureLiveStack(handlerState.frames, kCapturedFrames);
  size_t first = count;
  for (size_t i = 0; i < count; ++i) {
    if (!handlerState.frames[i].returnAddress &&
        handlerState.frames[i].address == request.context.InstructionPointer) {
      first = i;
      break;
    }
  }
  request.frameCount = 0;
  if (first == count) {
    request.frames[0] = request.context.InstructionPointer;
    request.exact[0] = true;
    request.frameCount = 1;
    return;
  }
  for (size_t i = first; i < count && request.frameCount < CrashRequest::kMaxFrames; ++i) {
    request.frames[request.frameCount] = handlerState.frames[i].address;
    request.exact[request.frameCount] = !handlerState.frames[i].returnAddress;
    ++request.frameCount;
  }
}

// Without SIGPIPE when the helper has gone.
bool SendAll(int descriptor, const void* data, size_t length) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (length > 0) {
    const ssize_t written = send(descriptor, bytes, length, MSG_NOSIGNAL);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    length -= static_cast<size_t>(written);
  }
  return true;
}

// Hands the request over and waits for the answer, within the helper's patience.
void HandToHelper() {
  const int channel = handlerState.channel.load();
  if (channel < 0) return;
  if (!SendAll(channel, &handlerState.request, sizeof handlerState.request)) return;
  const uint64_t deadline = MonotonicMs() + FaultReporting::kHelperPatienceMs;
  for (uint64_t now = MonotonicMs(); now < deadline; now = MonotonicMs()) {
    pollfd answer{channel, POLLIN, 0};
    const int ready = poll(&answer, 1, static_cast<int>(deadline - now));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return;
    uint8_t byte = 0;
    if (read(channel, &byte, 1) < 0 && errno == EINTR) continue;
    return;
  }
}

// The default action of the signal, as if no handler had been there: for a fault the
// instruction runs again and faults, for a signal sent from outside (kill) the pending one
// arrives when the handler returns.
void EndWithDefaultAction(int signal) {
  struct sigaction original {};
  original.sa_handler = SIG_DFL;
  sigemptyset(&original.sa_mask);
  sigaction(signal, &original, nullptr);
  raise(signal);
}

void OnFault(int signal, siginfo_t* info, void* context) {
  const int savedErrno = errno;
  const pid_t self = gettid();
  pid_t reporting = 0;
  if (handlerState.reportingThread.compare_exchange_strong(reporting, self)) {
    PutControllerIntoSafeState();
    // The other threads run on while the helper writes the log: their log lines must not
    // replace the file with one that lacks the report.
    StopFileWrites();
    // An unhandled C++ exception is in the log already; its abort needs no report.
    if (!(signal == SIGABRT && TerminationReported())) {
      FillRequest(signal, info, static_cast<const ucontext_t*>(context));
      HandToHelper();
    }
  } else if (reporting != self) {
    // Another thread reports: the process ends with its fault in a moment.
    SleepMs(FaultReporting::kHelperPatienceMs + 2000);
  }
  EndWithDefaultAction(signal);
  errno = savedErrno;
}

class LinuxFaultReporting final : public FaultReporting {
 public:
  void SetControllerPort(intptr_t handle) override {
    handlerState.controllerPort.store(static_cast<int>(handle));
  }
};

pid_t StartHelper(const std::vector<std::string>& command, int helperEnd) {
  std::vector<char*> argv;
  for (const std::string& argument : command) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const pid_t parent = getpid();
  const pid_t child = fork();
  if (child != 0) return child;
  // The child: only async-signal-safe calls until exec.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(127);
  if (helperEnd == FaultReporting::kHelperChannel) {
    fcntl(helperEnd, F_SETFD, 0);
  } else if (dup2(helperEnd, FaultReporting::kHelperChannel) < 0) {
    _exit(127);
  }
  execv(argv[0], argv.data());
  _exit(127);
}

}  // namespace

std::string OwnExecutablePath() {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

std::unique_ptr<FaultReporting> StartFaultReporting(const FaultReporting::Options& options) {
  if (options.helperCommand.empty()) throw std::invalid_argument("no crash helper command");
  if (options.safeStateBytes.size() > kMaxSafeStateBytes) {
    throw std::invalid_argument("too many safe-state bytes");
  }
  if (installed.exchange(true)) throw std::logic_error("fault reporting runs already");

  std::memcpy(handlerState.safeState, options.safeStateBytes.data(), options.safeStateBytes.size());
  handlerState.safeStateLength = options.safeStateBytes.size();
  // The unwinder reads its tables on first use; that must not happen in the handler.
  WarmUpLiveStack();

  int ends[2] = {-1, -1};
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    throw std::runtime_error(std::string("crash helper channel: ") + std::strerror(errno));
  }
  const pid_t helper = StartHelper(options.helperCommand, ends[1]);
  const int startError = errno;
  close(ends[1]);
  if (helper < 0) {
    close(ends[0]);
    throw std::runtime_error(std::string("crash helper: ") + std::strerror(startError));
  }
  handlerState.channel.store(ends[0]);

  // The main thread runs the handler on a stack of its own, so that it still runs when the
  // thread's stack has overflowed.
  stack_t stack{};
  stack.ss_sp = alternateStack;
  stack.ss_size = sizeof alternateStack;
  sigaltstack(&stack, nullptr);
  struct sigaction action {};
  action.sa_sigaction = &OnFault;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (const int signal : kFaultSignals) sigaction(signal, &action, nullptr);
  return std::make_unique<LinuxFaultReporting>();
}

}  // namespace trellon
