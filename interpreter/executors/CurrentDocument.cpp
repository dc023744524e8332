#include "interpreter/executors/CurrentDocument.h"

namespace quorvane {
namespace {
std::string& Name() {
  static std::string name;
  return name;
}
}  // namespace

const std::string& CurrentDocument() { return Name(); }

void SetCurrentDocument(const std::string& name) { Name() = name; }

}  // namespace quorvane
