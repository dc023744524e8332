// The file name of the document being run, one for the process. The program
// entry sets it to the start document before each message from the peer; the
// interpreter reads it and changes it when it moves to another document.
#pragma once
#include <string>

namespace quorvane {

const std::string& CurrentDocument();
void SetCurrentDocument(const std::string& name);

}  // namespace quorvane
