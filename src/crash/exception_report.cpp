#include "crash/exception_report.h"

#include <cstdio>

#include "base/type_name.h"

namespace trellon {
namespace {

// This program's own namespace: the module name already says whose code a frame is.
constexpr const char* kOwnNamespace = "trellon::";

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

void RemoveOwnNamespace(std::string& name) {
  const std::string own = kOwnNamespace;
  if (name.rfind(own, 0) == 0) name.erase(0, own.size());
}

// Drops " const", " &", " noexcept" and the like after a parameter list.
void RemoveTrailingQualifiers(std::string& name) {
  for (bool removed = true; removed;) {
    removed = false;
    for (const char* qualifier : {" const", " volatile", " &&", " &", " noexcept"}) {
      if (EndsWith(name, qualifier)) {
        name.resize(name.size() - std::string(qualifier).size());
        removed = true;
      }
    }
  }
}

// Drops the parameter list that ends the name, if any: the parenthesis that matches the last
// one, counted backwards, so that parameters holding parentheses stay whole.
void RemoveParameterList(std::string& name) {
  if (name.empty() || name.back() != ')') return;
  int depth = 0;
  for (size_t i = name.size(); i-- > 0;) {
    if (name[i] == ')') ++depth;
    if (name[i] == '(' && --depth == 0) {
      name.resize(i);
      return;
    }
  }
}

// Whether the blank at `at` separates a return type from the name: not one in an operator's name
// ("operator new") or before the qualifiers of an enclosing function ("f() const::{lambda}").
bool SeparatesReturnType(const std::string& name, size_t at) {
  if (at >= 8 && name.compare(at - 8, 8, "operator") == 0) return false;
  for (const char* qualifier : {"const", "volatile", "&", "noexcept"}) {
    if (name.compare(at + 1, std::string(qualifier).size(), qualifier) == 0) return false;
  }
  return true;
}

// Drops the return type that the names of template functions carry ("void f<int>"): everything
// up to the last blank outside brackets that separates one.
void RemoveReturnType(std::string& name) {
  int depth = 0;
  size_t cut = std::string::npos;
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (c == '<' || c == '(' || c == '{' || c == '[') ++depth;
    if ((c == '>' || c == ')' || c == '}' || c == ']') && depth > 0) --depth;
    if (c == ' ' && depth == 0 && SeparatesReturnType(name, i)) cut = i;
  }
  if (cut != std::string::npos) name.erase(0, cut + 1);
}

}  // namespace

std::string HexText(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%08llX", static_cast<unsigned long long>(value));
  return text;
}

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ReadableProcedureName(const std::string& symbol) {
  std::string name = symbol;
  const size_t version = name.find('@');
  if (version != std::string::npos) name.resize(version);
  name = DemangledName(name.c_str());
  // The compiler's specialised copies: "f(int) [clone .constprop.0] [clone .isra.0]".
  const size_t clone = name.find(" [clone ");
  if (clone != std::string::npos) name.resize(clone);
  RemoveTrailingQualifiers(name);
  RemoveParameterList(name);
  RemoveReturnType(name);
  RemoveOwnNamespace(name);
  return name;
}

std::string ReadableTypeName(const std::string& demangled) {
  std::string name = demangled;
  RemoveOwnNamespace(name);
  return name;
}

std::vector<std::string> FormatExceptionReport(const ExceptionReportInput& input) {
  const TclExceptionRecord& record = input.information->ExceptionRecord;
  std::vector<std::string> lines;
  lines.emplace_back("Exception detected: ");
  if (input.object) {
    lines.push_back("  " + input.object->ClassName + ": " + input.object->Message);
  }
  lines.push_back("  Code : " + HexText(record.ExceptionCode));
  lines.push_back("  Flags: " + HexText(record.ExceptionFlags));
  lines.push_back("  Addr : " + HexText(record.ExceptionAddress));
  if (!input.threadLine.empty()) lines.push_back("  Thread: " + input.threadLine);
  lines.emplace_back("  Stack:");
  if (input.frames) {
    for (const TclStackFrame& frame : *input.frames) {
      lines.push_back("    " + FileNameOf(frame.ModuleName) + "." + frame.ProcedureName + " @ " +
                      FileNameOf(frame.FileName) + "." + std::to_string(frame.LineNumber));
    }
  }
  return lines;
}

}  // namespace trellon
