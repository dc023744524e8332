#include "interpreter/executors/ItemVariables.h"

#include "interpreter/document/Element.h"
#include "interpreter/scripts/EcmaScopes.h"

void ItemVariables::CreateItemObject(Element* element) {
  std::string name;
  if (element->tagName == "menu") {
    name = element->GetAttribute("id");
    if (name.empty()) name = "menu" + std::to_string(unnamedMenus_++);
  } else {
    name = element->GetAttribute("name");
  }
  scopes_.ExecuteBuilt(element->scope + "." + name + "=new Object()");
  element->binding.emplace(name, element->scope, element);
}

std::string ItemVariables::GetItemValue(const Element* element) {
  std::string value;
  scopes_.ExecuteBuilt(VariableOf(element), EcmaScopes::kValueSize, &value);
  return value;
}

void ItemVariables::SetVariable(const Element* element, const std::string& valueText) {
  scopes_.ExecuteBuilt(VariableOf(element) + "=" + valueText);
}

std::string ItemVariables::VariableOf(const Element* element) {
  if (element->binding) return element->binding->scopeName + "." + element->binding->variableName;
  const std::string name = element->GetAttribute("name");
  scopes_.LogMessage("WARNING: element <" + element->tagName +
                     "> has no variable binding, its name attribute is used: " + name);
  return element->scope + "." + name;
}
