// Symbols of a process through elfutils' libdw: the modules from /proc/<pid>/maps, the names
// from their symbol tables, file and line from their debug information (also a separate debug
// file where the system keeps one).
#include <elfutils/libdwfl.h>

#include "crash/exception_report.h"
#include "crash/stack_tracer.h"

namespace trellon {
namespace {

class DwarfSymbols final : public SymbolSource {
 public:
  explicit DwarfSymbols(int64_t processId) : processId_(processId) {}
  ~DwarfSymbols() override {
    if (session_ != nullptr) dwfl_end(session_);
  }
  DwarfSymbols(const DwarfSymbols&) = delete;
  DwarfSymbols& operator=(const DwarfSymbols&) = delete;

  std::string ModuleName(uint64_t address) override {
    Dwfl_Module* module = ModuleAt(address);
    if (module == nullptr) return {};
    const char* name =
        dwfl_module_info(module, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    return name ? name : "";
  }

  std::string ProcedureName(uint64_t address) override {
    Dwfl_Module* module = ModuleAt(address);
    const char* symbol = module ? dwfl_module_addrname(module, address) : nullptr;
    return symbol ? ReadableProcedureName(symbol) : std::string();
  }

  std::string SourceLine(uint64_t address, int32_t& line) override {
    Dwfl_Module* module = ModuleAt(address);
    Dwfl_Line* source = module ? dwfl_module_getsrc(module, address) : nullptr;
    if (source == nullptr) return {};
    int number = 0;
    const char* file = dwfl_lineinfo(source, nullptr, &number, nullptr, nullptr, nullptr);
    if (file == nullptr) return {};
    line = number;
    return file;
  }

 private:
  // The module holding an address. The modules are read at the first lookup; an address in none
  // of them reads them again once, for a library loaded since.
  Dwfl_Module* ModuleAt(uint64_t address) {
    if (session_ == nullptr) {
      session_ = dwfl_begin(&callbacks_);
      if (session_ == nullptr) return nullptr;
      ReportModules();
    }
    Dwfl_Module* module = dwfl_addrmodule(session_, address);
    if (module == nullptr && !reportedAgain_) {
      reportedAgain_ = true;
      ReportModules();
      module = dwfl_addrmodule(session_, address);
    }
    return module;
  }

  void ReportModules() {
    dwfl_report_begin(session_);
    dwfl_linux_proc_report(session_, static_cast<pid_t>(processId_));
    dwfl_report_end(session_, nullptr, nullptr);
  }

  int64_t processId_;
  char* debugInfoPath_ = nullptr;
  Dwfl_Callbacks callbacks_{dwfl_linux_proc_find_elf, dwfl_standard_find_debuginfo, nullptr,
                            &debugInfoPath_};
  Dwfl* session_ = nullptr;
  bool reportedAgain_ = false;
};

}  // namespace

std::unique_ptr<SymbolSource> CreateSymbolSource(int64_t processId) {
  return std::make_unique<DwarfSymbols>(processId);
}

}  // namespace trellon
