#include "interpreter/document/VxmlDocument.h"

#include <utility>

#include "interpreter/common/SessionLog.h"

VxmlDocument::VxmlDocument(std::string fileName, SessionLog* log)
    : fileName(std::move(fileName)), log(log) {
  log->Message("Create dokument successfull");
}

VxmlDocument::~VxmlDocument() {
  log->Message("Destroy dokument " + fileName);
}
