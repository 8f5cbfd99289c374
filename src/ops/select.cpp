#include "ops/select.h"

#include "platform/platform.h"

namespace qev {

bool NameMatches(std::string_view a, std::string_view b) {
  return platform::EqualIgnoringCase(a, b);
}

bool IsSelected(std::string_view name, const NameList* filter) {
  if (filter == nullptr) return true;
  for (const std::string_view wanted : *filter) {
    if (NameMatches(name, wanted)) return true;
  }
  return false;
}

}  // namespace qev
