#include "interpreter/document/Element.h"

#include <deque>
#include <utility>

Attribute::Attribute(std::string name, std::string value)
    : name(std::move(name)), value(std::move(value)) {}

VariableBinding::VariableBinding(std::string variableName, std::string scopeName,
                                 Element* element)
    : variableName(std::move(variableName)), scopeName(std::move(scopeName)), element(element) {}

Element::Element(std::string tagName, std::string scope, std::string sourceText,
                 std::vector<Attribute> attributes)
    : attributes(std::move(attributes)),
      tagName(std::move(tagName)),
      scope(std::move(scope)),
      sourceText(std::move(sourceText)) {}

std::string Element::GetAttribute(const std::string& name) const {
  for (const Attribute& attribute : attributes) {
    if (attribute.name == name) return attribute.value;
  }
  return "";
}

std::string Element::GetText() const {
  const size_t start = sourceText.find("<" + tagName);
  const size_t end = sourceText.find("</" + tagName + ">");
  std::string content;
  if (start != std::string::npos && end != std::string::npos) {
    const size_t tagEnd = sourceText.find('>');  // found: the end mark holds one
    if (tagEnd < end) content = sourceText.substr(tagEnd + 1, end - tagEnd - 1);
  } else if (end != std::string::npos) {
    content = sourceText.substr(0, end);
  } else if (start == std::string::npos) {
    content = sourceText;
  }
  const size_t first = content.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return content.substr(first, content.find_last_not_of(' ') - first + 1);
}

void Element::AppendChild(Element* child) {
  children.push_back(child);
  child->parent = this;
}

namespace {

std::deque<Element>& Arena() {
  // Never destroyed: elements must outlive every static that may point at them.
  static std::deque<Element>* arena = new std::deque<Element>;
  return *arena;
}

}  // namespace

Element* NewElement(Element element) {
  Arena().push_back(std::move(element));
  return &Arena().back();
}

#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
void ClearElementArena() { Arena().clear(); }
#endif
