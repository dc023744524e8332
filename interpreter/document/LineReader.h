// The line reader of the line parser: it reads a document line by line and
// hands the tree builder one line per element, as if each element's tags
// stood on lines of their own.
//
// Reading: every line of the file loses one trailing "\r"; a NUL byte is read
// as a blank and logged ("XML PARSER: NUL byte read as a blank in line N of
// <file>"). A piece of markup that does not end on its line is continued on
// the following lines: a tag is joined with them without a separator (so
// `name="a"` + newline + `expr="2"` loses expr), a comment, a CDATA section
// or a declaration with one blank.
//
// Lines handed out, in document order:
// - a tag of a known element (TagLexer's table) on a line of its own: an end
//   tag, an empty-element tag "<x .../>", or a start tag;
// - a start tag, its text and its own end tag on one line of the document
//   ("<item>ano</item>") stay one line, unless the element holds executable
//   content (block, filled, catch, error, help, noinput, nomatch, if, else,
//   elseif), whose text is always a line of its own;
// - a prompt: its start tag, its body up to "</prompt>" (text and inline
//   markup, over as many lines as it takes; each line's part without its
//   leading and trailing blanks and tabs, the parts joined with one blank;
//   CDATA sections kept with their markers) and its end tag;
// - a script: its start tag, its code (from right after the start tag to
//   right before "</script>", the lines joined with "\n"; character
//   references decoded outside CDATA sections, whose content stands as
//   written without the markers) and its end tag;
// - a run of text: text, CDATA content and tags of unknown elements up to the
//   next other tag, over as many lines as it takes (the lines' parts joined
//   as in a prompt). In spoken text (where the innermost open element holds
//   executable content) its CDATA sections keep their markers and its <value>
//   tags belong to it, as in a prompt's body; elsewhere it holds the <value>
//   tags of those of its lines that hold a word or an unknown tag, and a
//   <value> tag on a line without words is a line of its own.
// Comments, declarations (DOCTYPE) and processing instructions are skipped;
// markup inside a comment or a CDATA section is never read as an element.
#pragma once
#include <deque>
#include <istream>
#include <string>
#include <vector>

#include "interpreter/document/TagLexer.h"

class SessionLog;

// One line for the tree builder.
struct SourceLine {
  std::string text;
  std::string tag;  // the line's first tag; empty for a run of text
};

class LineReader {
 public:
  // The stream and the log (not owned) must outlive the reader; the file
  // name is only for log lines.
  LineReader(std::istream& input, SessionLog* log, std::string fileName);

  // The next line of the file as it stands (after the "\r" and NUL rules);
  // false at the end of the file.
  bool ReadRawLine(std::string& line);
  // The text is read before the rest of the file (the part of the first
  // line after the XML declaration, say).
  void Unread(const std::string& text);
  // The next line for the tree builder; false once the file has ended.
  bool Next(SourceLine& line);

 private:
  // Takes the next piece of the pending text, reading on while it is
  // incomplete (a tag joined without separator, other markup with `joint`).
  // False when the file has ended and nothing is pending.
  bool TakePiece(taglexer::Piece& piece, const char* joint);
  // Moves on to the next line of the file; false at its end.
  bool NextRawLine();
  void HandlePiece(const taglexer::Piece& piece);
  // When the start tag's text (and <value> or unknown tags) and its own end
  // tag follow on its line: appends them to `line` and reads past them.
  bool TakeLeaf(const std::string& name, std::string& line);
  // Read from right after the start tag; each returns the body and the end
  // tag (none when the file ends first).
  std::string ReadPromptBody();
  std::string ReadScriptBody();
  // The piece as written (a CDATA section with its markers).
  std::string RawText(const taglexer::Piece& piece) const;
  // True when the innermost open element holds executable content.
  bool InSpokenText() const;
  // Ends the innermost open element of the name and those opened inside it.
  void CloseElement(const std::string& name);

  // The open run of text: adds to the current line's part of it.
  void AddToRun(const std::string& text, bool words);
  // Joins the current line's part to the run when it holds words; otherwise
  // hands out the run so far and then the part's <value> tags.
  void EndRunLine();
  void FlushRunText();
  // Hands out the whole run.
  void FlushRun();

  std::istream& input_;
  SessionLog* log_;
  std::string fileName_;
  int lineNumber_ = 0;
  std::string pending_;  // the current line (joined with its continuations)
  std::size_t position_ = 0;  // how much of it has been read
  std::deque<SourceLine> ready_;
  std::vector<std::string> openElements_;  // known elements open, innermost last
  std::string runText_;  // the run's earlier lines, joined
  std::string runLine_;  // the run's part of the current line
  bool runLineHasWords_ = false;
  std::vector<std::string> runLineValueTags_;
};
