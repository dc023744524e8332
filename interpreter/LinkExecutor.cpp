// The <link> executor: a link's grammars are heard wherever the link stands;
// post-semantic processing follows the link when one of them matched.
#include "interpreter/Element.h"
#include "interpreter/Interpreter.h"
#include "interpreter/SessionLog.h"
#include "speech_resources/GrammarManager.h"

void Interpreter::ExecuteLink(Element* link) {
  mainLog_->Message("Link element");
  for (Element* child : link->children) {
    if (child->tagName == "grammar") grammarManager_->ActivateForElement(child);
  }
  mainLog_->Message("End of link");
}
