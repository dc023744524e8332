// The script variables of form items and menus. Each is a property of its
// element's scope object, bound to the element when it is made: the "name"
// attribute, for a menu its "id" or, when that is empty, "menu" + the
// unnamed-menu counter (which only ever goes up). Every command runs through
// the scope layer as it is built, logged as every command is.
#pragma once
#include <string>

class EcmaScopes;
class Element;

class ItemVariables {
 public:
  // The scope layer must outlive this.
  explicit ItemVariables(EcmaScopes& scopes) : scopes_(scopes) {}

  // Makes the element's variable a new object and binds the element to it.
  void CreateItemObject(Element* element);
  // The printed value of the element's variable.
  std::string GetItemValue(const Element* element);
  // The element's variable = valueText (an expression).
  void SetVariable(const Element* element, const std::string& valueText);

 private:
  // The element's variable as scope + "." + name: from its binding, or else
  // from its own scope and "name" attribute, with a warning in the script log.
  std::string VariableOf(const Element* element);

  EcmaScopes& scopes_;
  int unnamedMenus_ = 0;
};
