#include "interpreter/document/LineReader.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <utility>

#include "interpreter/common/Entities.h"
#include "interpreter/common/SessionLog.h"

using taglexer::Piece;
using taglexer::PieceKind;

namespace {

// Elements whose text is spoken as a prompt: their text never shares a line
// with their tags.
const std::array<const char*, 10> kContentHolders = {
    "block", "filled", "catch", "error", "help", "noinput", "nomatch", "if", "else", "elseif"};

bool HoldsContent(const std::string& name) {
  return std::find(kContentHolders.begin(), kContentHolders.end(), name) != kContentHolders.end();
}

bool IsValueTag(const std::string& name) { return name == "value" || name == "</value"; }

bool HasWords(const std::string& text) {
  return text.find_first_not_of(" \t") != std::string::npos;
}

// Appends the part without its outer blanks, after one blank when the joined
// text is not empty; an empty part adds nothing.
void AppendPart(std::string& joined, const std::string& part) {
  const std::string trimmed = taglexer::TrimBlanks(part);
  if (trimmed.empty()) return;
  if (!joined.empty()) joined += ' ';
  joined += trimmed;
}

bool IsSkipped(const Piece& piece) {
  return piece.kind == PieceKind::kComment || piece.kind == PieceKind::kInstruction ||
         piece.kind == PieceKind::kDeclaration;
}

// The first place of the script text at or after `from` where CDATA, a
// comment or the end tag starts.
std::size_t ScriptMark(const std::string& text, std::size_t from) {
  std::size_t mark = std::string::npos;
  for (const char* start : {"<![CDATA[", "<!--", "</script"}) {
    mark = std::min(mark, text.find(start, from));
  }
  return mark;
}

}  // namespace

LineReader::LineReader(std::istream& input, SessionLog* log, std::string fileName)
    : input_(input), log_(log), fileName_(std::move(fileName)) {}

bool LineReader::ReadRawLine(std::string& line) {
  std::string next;
  if (!std::getline(input_, next)) return false;
  ++lineNumber_;
  if (!next.empty() && next.back() == '\r') next.pop_back();
  if (next.find('\0') != std::string::npos) {
    std::replace(next.begin(), next.end(), '\0', ' ');
    log_->Error("XML PARSER: NUL byte read as a blank in line " + std::to_string(lineNumber_) +
                " of " + fileName_);
  }
  line = std::move(next);
  return true;
}

void LineReader::Unread(const std::string& text) {
  pending_ = text;
  position_ = 0;
}

bool LineReader::Next(SourceLine& line) {
  Piece piece;
  while (ready_.empty()) {
    if (!TakePiece(piece, " ")) {
      FlushRun();
      if (ready_.empty()) return false;
      break;
    }
    HandlePiece(piece);
  }
  line = std::move(ready_.front());
  ready_.pop_front();
  return true;
}

bool LineReader::NextRawLine() {
  EndRunLine();
  std::string line;
  if (!ReadRawLine(line)) return false;
  Unread(line);
  return true;
}

bool LineReader::TakePiece(Piece& piece, const char* joint) {
  while (position_ >= pending_.size()) {
    if (!NextRawLine()) return false;
  }
  piece = taglexer::NextPiece(pending_, position_);
  std::string next;
  while (!piece.complete && ReadRawLine(next)) {
    const std::size_t searched = pending_.size();  // a long comment is not searched again
    pending_ += (taglexer::IsTag(piece) ? "" : joint) + next;
    piece = taglexer::NextPiece(pending_, position_, searched);
  }
  position_ = piece.end;
  return true;
}

void LineReader::HandlePiece(const Piece& piece) {
  if (IsSkipped(piece)) return;
  const std::string text = taglexer::PieceText(pending_, piece);
  if (!taglexer::IsTag(piece)) {
    const bool keepMarkers = piece.kind == PieceKind::kCData && InSpokenText();
    AddToRun(keepMarkers ? RawText(piece) : text, HasWords(text));
    return;
  }
  const std::string name = taglexer::ElementName(text);
  if (name.empty() || IsValueTag(name)) {
    const bool ownLine = !name.empty() && !InSpokenText();
    AddToRun(text, !ownLine);
    if (ownLine) runLineValueTags_.push_back(text);
    return;
  }
  FlushRun();
  std::string line = text;
  if (piece.kind == PieceKind::kEndTag) CloseElement(name.substr(2));
  if (piece.kind == PieceKind::kStartTag && piece.complete) {
    if (name == "prompt") {
      line += ReadPromptBody();
    } else if (name == "script") {
      line += ReadScriptBody();
    } else if (HoldsContent(name) || !TakeLeaf(taglexer::TagName(text), line)) {
      openElements_.push_back(name);
    }
  }
  ready_.push_back({line, text});
}

std::string LineReader::RawText(const Piece& piece) const {
  return pending_.substr(piece.begin, piece.end - piece.begin);
}

bool LineReader::InSpokenText() const {
  return !openElements_.empty() && HoldsContent(openElements_.back());
}

void LineReader::CloseElement(const std::string& name) {
  const auto open = std::find(openElements_.rbegin(), openElements_.rend(), name);
  if (open == openElements_.rend()) return;
  openElements_.erase(std::prev(open.base()), openElements_.end());
}

bool LineReader::TakeLeaf(const std::string& name, std::string& line) {
  std::string content;
  for (std::size_t at = position_; at < pending_.size();) {
    const Piece piece = taglexer::NextPiece(pending_, at);
    if (!piece.complete) return false;
    const std::string text = taglexer::PieceText(pending_, piece);
    at = piece.end;
    if (IsSkipped(piece)) continue;
    if (piece.kind == PieceKind::kEndTag && taglexer::TagName(text) == name) {
      line += content + text;
      position_ = at;
      return true;
    }
    const std::string element = taglexer::IsTag(piece) ? taglexer::ElementName(text) : "";
    if (!element.empty() && !IsValueTag(element)) return false;
    content += text;
  }
  return false;
}

std::string LineReader::ReadPromptBody() {
  std::string body;
  std::string part;
  Piece piece;
  for (;;) {
    if (position_ >= pending_.size()) {
      AppendPart(body, part);
      part.clear();
      if (!NextRawLine()) return body;
      continue;
    }
    TakePiece(piece, " ");
    if (IsSkipped(piece)) continue;
    const std::string text = RawText(piece);
    if (piece.kind == PieceKind::kEndTag && taglexer::TagName(text) == "prompt") {
      AppendPart(body, part);
      return body + text;
    }
    part += text;
  }
}

std::string LineReader::ReadScriptBody() {
  std::string code;
  Piece piece;
  for (;;) {
    const std::size_t mark = ScriptMark(pending_, position_);
    code += entities::Decode(
        pending_.substr(position_, mark == std::string::npos ? mark : mark - position_));
    if (mark == std::string::npos) {
      position_ = pending_.size();
      if (!NextRawLine()) return code;
      code += "\n";
      continue;
    }
    position_ = mark;
    TakePiece(piece, "\n");
    if (piece.kind == PieceKind::kCData) code += taglexer::PieceText(pending_, piece);
    if (piece.kind == PieceKind::kEndTag) return code + taglexer::PieceText(pending_, piece);
  }
}

void LineReader::AddToRun(const std::string& text, bool words) {
  runLine_ += text;
  runLineHasWords_ = runLineHasWords_ || words;
}

void LineReader::EndRunLine() {
  if (runLineHasWords_) {
    AppendPart(runText_, runLine_);
  } else if (!runLineValueTags_.empty()) {
    FlushRunText();
    for (const std::string& tag : runLineValueTags_) ready_.push_back({tag, tag});
  }
  runLine_.clear();
  runLineHasWords_ = false;
  runLineValueTags_.clear();
}

void LineReader::FlushRunText() {
  if (!runText_.empty()) ready_.push_back({runText_, ""});
  runText_.clear();
}

void LineReader::FlushRun() {
  EndRunLine();
  FlushRunText();
}
