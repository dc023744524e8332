// One entry of a document's dialog table: a form or menu element and the
// utterance or DTMF key last heard in that dialog. Copied by value, the last
// input included.
#pragma once
#include <string>

class Element;

struct DialogSlot {
  Element* element = nullptr;  // a "form" or "menu" element; not owned
  std::string lastInput;       // written by the input item executors
};
