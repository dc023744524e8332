// The <submit> executor: the namelist's values go to an HTTP server as one
// GET request through the form client; the reply body is kept in a file
// for outside use and never loaded as a document. A submit that ends
// without a reply (refused, failed, or too long a reply) leaves no file.
#include <filesystem>
#include <fstream>
#include <iostream>

#include "interpreter/common/SessionLog.h"
#include "interpreter/document/Element.h"
#include "interpreter/executors/Interpreter.h"
#include "interpreter/executors/NameList.h"
#include "interpreter/executors/WebForm.h"
#include "interpreter/scripts/EcmaScopes.h"

const char Interpreter::kSubmitReplyFile[] = "Quorvane/temp/dynamic_cont.xml";

namespace {

// Replaces the reply file with the body; false when it cannot be written.
bool WriteReplyFile(const std::string& body) {
  std::error_code ignored;
  std::filesystem::create_directories(
      std::filesystem::path(Interpreter::kSubmitReplyFile).parent_path(), ignored);
  std::ofstream file(Interpreter::kSubmitReplyFile, std::ios::binary | std::ios::trunc);
  file.write(body.data(), static_cast<std::streamsize>(body.size()));
  file.close();
  return static_cast<bool>(file);
}

// Removes the reply file of an earlier submit when this one ends without a
// reply of its own, so that no reader takes the old reply for this one's.
class StaleReplyRemover {
 public:
  StaleReplyRemover() = default;
  StaleReplyRemover(const StaleReplyRemover&) = delete;
  StaleReplyRemover& operator=(const StaleReplyRemover&) = delete;
  ~StaleReplyRemover() {
    std::error_code ignored;
    if (!replied_ && std::filesystem::remove(Interpreter::kSubmitReplyFile, ignored)) {
      std::cout << "The submit has no reply: " << Interpreter::kSubmitReplyFile << " is removed"
                << std::endl;
    }
  }
  void Replied() { replied_ = true; }

 private:
  bool replied_ = false;
};

}  // namespace

void Interpreter::ExecuteSubmit(Element* submit) {
  StaleReplyRemover remover;
  if (submit->GetAttribute("method") != "get") {
    mainLog_->Error("Only GET method is allowed by submit element");
    return;
  }
  std::string url = submit->GetAttribute("next");
  if (url.empty()) {
    const std::string expr = submit->GetAttribute("expr");
    if (expr.empty()) {
      mainLog_->Error("Invalid URL in submit element!");
      return;
    }
    scopes_->ExecuteCommand(expr, &url, true, EcmaScopes::kShortSize);
  }
  // The host keeps the folders; the script file is "/" and the last part.
  const std::size_t slash = url.rfind('/');
  const std::string host = slash == std::string::npos ? "" : url.substr(0, slash);
  const std::string scriptFile = slash == std::string::npos ? "" : url.substr(slash);
  try {
    WebForm form;
    form.SetHost(host);
    form.SetScriptFile(scriptFile);
    std::cout << "Contacting " << host << "..." << std::endl << scriptFile << std::endl;
    for (const std::string& name : SplitNameList(submit->GetAttribute("namelist"))) {
      form.PutVariable(name, scopes_->GetValue(name));
    }
    std::cout << "Sending request..." << std::endl;
    form.SendRequest();
    std::string reply;
    if (!form.GetResponse(&reply, kSubmitReplySize)) return;
    if (WriteReplyFile(reply)) {
      remover.Replied();
    } else {
      mainLog_->Error(std::string("The submit reply cannot be written to ") + kSubmitReplyFile);
    }
  } catch (const openutils::WebFormException& failure) {
    std::cout << failure.what() << std::endl;
  }
}
