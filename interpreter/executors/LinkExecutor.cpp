// The <link> executor: a link's grammars are heard wherever the link stands;
// post-semantic processing follows the link when one of them matched.
#include "interpreter/common/SessionLog.h"
#include "interpreter/document/Element.h"
#include "interpreter/executors/Interpreter.h"
#include "speech_resources/GrammarManager.h"

void Interpreter::ExecuteLink(Element* link) {
  mainLog_->Message("Link element");
  for (Element* child : link->children) {
    if (child->tagName == "grammar") grammarManager_->ActivateForElement(child);
  }
  mainLog_->Message("End of link");
}
