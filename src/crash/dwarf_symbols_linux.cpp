// Symbols of a process through elfutils' libdw: the modules from /proc/<pid>/maps, the names
// from their symbol tables, file and line from their debug information (also a separate debug
// file where the system keeps one).
#include <dwarf.h>
#include <elfutils/libdwfl.h>

#include <cstdlib>

#include "crash/exception_report.h"
#include "crash/stack_tracer.h"

namespace trellon {
namespace {

bool IsFunction(Dwarf_Die& scope) {
  const int tag = dwarf_tag(&scope);
  return tag == DW_TAG_subprogram || tag == DW_TAG_inlined_subroutine;
}

// The declaration a function's entry refers to, through its abstract origin (an inlined or
// concrete copy) and its DW_AT_specification link (a definition outside its class).
Dwarf_Die Declaration(Dwarf_Die function) {
  for (int step = 0; step < 4; ++step) {
    Dwarf_Attribute attribute;
    Dwarf_Die next;
    if ((dwarf_attr(&function, DW_AT_abstract_origin, &attribute) != nullptr ||
         dwarf_attr(&function, DW_AT_specification, &attribute) != nullptr) &&
        dwarf_formref_die(&attribute, &next) != nullptr) {
      function = next;
      continue;
    }
    break;
  }
  return function;
}

std::string FunctionName(Dwarf_Die& function, int depth = 0);

// The scopes around a declaration as a prefix: "Class::", "Function()::{lambda}::".
std::string ScopePrefix(Dwarf_Die& declaration, int depth) {
  Dwarf_Die* scopes = nullptr;
  const int count = dwarf_getscopes_die(&declaration, &scopes);
  std::string prefix;
  for (int i = 1; i < count; ++i) {
    const char* name = dwarf_diename(&scopes[i]);
    switch (dwarf_tag(&scopes[i])) {
      case DW_TAG_namespace:
        prefix.insert(0, std::string(name ? name : "(anonymous namespace)") + "::");
        continue;
      case DW_TAG_class_type:
      case DW_TAG_structure_type:
      case DW_TAG_union_type:
        prefix.insert(0, std::string(name ? name : "{lambda}") + "::");
        continue;
      case DW_TAG_subprogram:
        // A function's own types: the function names the rest.
        prefix.insert(0, FunctionName(scopes[i], depth + 1) + "()::");
        break;
      default:
        continue;
    }
    break;
  }
  std::free(scopes);
  return prefix;
}

// A function's name from its debug information: the linkage name where there is one, else the
// plain name with the scopes around its declaration.
std::string FunctionName(Dwarf_Die& function, int depth) {
  Dwarf_Attribute attribute;
  for (const int name : {DW_AT_linkage_name, DW_AT_MIPS_linkage_name}) {
    if (dwarf_attr_integrate(&function, name, &attribute) != nullptr) {
      if (const char* linkage = dwarf_formstring(&attribute)) return ReadableProcedureName(linkage);
    }
  }
  Dwarf_Die declaration = Declaration(function);
  const char* plain = dwarf_diename(&declaration);
  const std::string name = plain ? plain : "";
  if (depth > 3) return name;
  return ReadableTypeName(ScopePrefix(declaration, depth) + name);
}

// Where an inlined function was called from: file and line of the call in the function around.
void CallSite(Dwarf_Die& inlined, Dwarf_Die& unit, std::string& file, int32_t& line) {
  Dwarf_Attribute attribute;
  Dwarf_Word fileIndex = 0;
  Dwarf_Word lineNumber = 0;
  file.clear();
  line = 0;
  if (dwarf_attr(&inlined, DW_AT_call_line, &attribute) != nullptr &&
      dwarf_formudata(&attribute, &lineNumber) == 0) {
    line = static_cast<int32_t>(lineNumber);
  }
  Dwarf_Files* files = nullptr;
  size_t fileCount = 0;
  if (dwarf_attr(&inlined, DW_AT_call_file, &attribute) != nullptr &&
      dwarf_formudata(&attribute, &fileIndex) == 0 &&
      dwarf_getsrcfiles(&unit, &files, &fileCount) == 0 && fileIndex < fileCount) {
    if (const char* name = dwarf_filesrc(files, fileIndex, nullptr, nullptr)) file = name;
  }
}

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

  std::vector<TclSourceLocation> SourceLocations(uint64_t address) override {
    TclSourceLocation innermost;
    innermost.ProcedureName = ProcedureName(address);
    innermost.FileName = SourceLine(address, innermost.LineNumber);
    Dwfl_Module* module = ModuleAt(address);
    Dwarf_Addr bias = 0;
    Dwarf_Die* unit = module ? dwfl_module_addrdie(module, address, &bias) : nullptr;
    // The innermost scope at the address, and from it out the functions as compiled: inlined
    // copies up to the function that holds them.
    Dwarf_Die* found = nullptr;
    const int foundCount = unit ? dwarf_getscopes(unit, address - bias, &found) : 0;
    Dwarf_Die* scopes = nullptr;
    int count = 0;
    if (foundCount > 0) count = dwarf_getscopes_die(&found[0], &scopes);
    std::free(found);
    std::vector<TclSourceLocation> locations;
    // Each inlined function's call site is the line of the next one out.
    TclSourceLocation location = innermost;
    for (int i = 0; i < count; ++i) {
      if (!IsFunction(scopes[i])) continue;
      const bool inlined = dwarf_tag(&scopes[i]) == DW_TAG_inlined_subroutine;
      // The function the address lies in: its symbol names it best.
      location.ProcedureName = inlined || innermost.ProcedureName.empty() ? FunctionName(scopes[i])
                                                                          : innermost.ProcedureName;
      locations.push_back(location);
      if (!inlined) break;
      CallSite(scopes[i], *unit, location.FileName, location.LineNumber);
    }
    std::free(scopes);
    if (locations.empty()) locations.push_back(innermost);
    return locations;
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
