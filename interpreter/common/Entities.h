// The character references of a document's text: the five named ones and
// the numeric references of characters that Windows-1250 holds. Decoded in
// the document's own texts only, never in text that came from outside.
#pragma once
#include <string>

namespace entities {

// The text with "&amp;", "&lt;", "&gt;", "&apos;", "&quot;" and the numeric
// references "&#NN;" and "&#xHH;" of characters that Windows-1250 holds
// replaced by their Windows-1250 bytes; any other "&" stays as written.
std::string Decode(const std::string& text);

}  // namespace entities
