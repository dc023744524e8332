// The tag lexer of the line parser and of the prompt player: it cuts a text
// into pieces of markup and text, names a tag by the table of the 52 known
// element names, reads the attributes of a tag that the table of 68 known
// attribute names keeps, and decodes character references.
//
// Pieces, as NextPiece finds them from a position of the text:
// - kText: up to the next "<" that opens markup, i.e. a "<" followed by a
//   letter, "_", ":", "/", "!" or "?"; any other "<" is text.
// - kStartTag "<name ...>", kEmptyTag "<name .../>", kEndTag "</name ...>":
//   from the "<" to the first ">" after it that is not inside a value quoted
//   after "=" (a quote that is not closed in the text does not count).
// - kComment "<!--...-->", kCData "<![CDATA[...]]>", kInstruction "<?...?>",
//   kDeclaration "<!...>" (a DOCTYPE; an internal subset "[...]" may hold ">").
// A piece whose end is not in the text is incomplete: it runs to the end of
// the text and the caller may append more text and ask again.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "interpreter/document/Element.h"

namespace taglexer {

enum class PieceKind {
  kText,
  kStartTag,
  kEmptyTag,
  kEndTag,
  kComment,
  kCData,
  kInstruction,
  kDeclaration,
};

struct Piece {
  PieceKind kind;
  std::size_t begin;
  std::size_t end;  // one past the piece's last character
  bool complete;
};

// The piece that starts at `from`; requires from < text.size(). For a
// comment or CDATA section that was incomplete up to `resume` (the earlier
// end of the text), its end is looked for from there on.
Piece NextPiece(const std::string& text, std::size_t from, std::size_t resume = 0);

// The text of the piece; for a CDATA section its content without the markers.
std::string PieceText(const std::string& text, const Piece& piece);

// True for the three kinds of tags.
bool IsTag(const Piece& piece);

// The element name as written in a tag (which starts with "<"): after "<" or
// "</", up to a blank, a tab, "/" or ">".
std::string TagName(const std::string& tag);

// The name the element-name table gives a tag (which starts with "<") by its head ("<" or "</" and
// the name as written): the first entry E, in table order, that the head
// holds as "<" + E, with the fix-ups "<ruleref" -> "ruleref", "<elseif" ->
// "elseif" (for the entries "else" and "if") and, for "enumerate" and
// "audio", "<prompt" -> "prompt"; "</" + E for the first entry held as
// "</" + E, with the same fix-ups ("</ruleref" -> "</ruleref", so that the
// end tag of a <ruleref> on a later line is not taken for "</rule"); "" when
// the head holds no entry. As the table is searched by
// substrings, "<metadata" is "meta".
std::string ElementName(const std::string& tag);

// The attributes of a start tag whose names stand in the attribute table,
// in source order: each blank or tab, then a name (blanks and tabs around it
// dropped), "=", blanks, and a value in double or single quotes. A value
// without its closing quote keeps nothing, and the search goes on after "=".
std::vector<Attribute> TagAttributes(const std::string& tag);

// The body of an element written as its start tag, body and end tag (a
// prompt or a script as the line reader hands them out): from right after
// the start tag to the last end tag of the name, without its outer blanks
// and tabs, so that an end tag inside a CDATA section stays in it; "" when
// the text does not start with a start tag or has no such end tag after it.
std::string ElementBody(const std::string& sourceText, const std::string& name);

// The text without its leading and trailing blanks and tabs.
std::string TrimBlanks(const std::string& text);

}  // namespace taglexer
