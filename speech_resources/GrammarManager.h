// The grammars of the running dialogue, and the recogniser told turn by turn
// which of them to listen with.
//
// Registration: LoadGrammarList registers every <grammar> element of a loaded
// document (InitGrammar); a grammar with "src" becomes an entry by its "type"
// (an SRGS file is parsed and converted into a BNF file), one without "src"
// becomes an internal grammar (ServeInternalGrammar), unless "srcexpr" or
// "expr" names it and it holds nothing: that one is logged as not run and
// not registered. The menu and field
// executors add the choice grammar of a menu or of a field with options
// (BuildChoiceGrammar). Registering the same <grammar> element again (for a
// menu: the choice grammar of the same menu) refreshes its entry in place. At
// most kMaxEntries entries are kept; a grammar beyond them is refused with an
// error in the main log. UnloadGrammarList empties the table.
//
// One input turn: NewGroup ("NewGroup\t"); ActivateForElement for the item's
// grammars (after BuildChoiceGrammar for menus and fields with options);
// ActivateGrammars (one "AddGram\t" per announced entry); then the input
// collector's "LoadGroup", the prompt and the input request; after the
// semantic interpretation DeactivateScopeUnknown. Entering a form:
// DeactivateScopeDialog, then ActivateForElement for each <grammar> child of
// the form.
//
// Activation of an element E sets the active flag of every entry that
//   1. E being a <choice>, is owned by E itself;
//   2. is owned by an element with E's source text, or is the inline grammar
//      E itself with a scope class that is not empty, and whose item name is
//      the variable name bound to E's parent;
//   3. has the scope class "document" or "document-ard".
// Elements other than choices are compared by source text, not identity.
//
// The peer answers "NewGroup\t" and "AddGram\t" with "OK"; "End" sets the
// hang-up flag, which nothing clears and the executors test after each call.
// Single-threaded; every request blocks until its reply.
//
// Where the members live: registration, activation and announcement in
// GrammarManager.cpp; the internal and choice grammars (ServeInternalGrammar,
// BuildChoiceGrammar, DeactivateChoiceGrammars) and DictionaryPath in
// InternalGrammars.cpp; WriteBnf with the SRGS-to-BNF converter in
// BnfConverter.cpp.
#pragma once
#include <cstddef>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "speech_resources/GrammarEntry.h"

class EcmaScopes;
class Element;
class PeerLink;
class SessionLog;
class VxmlDocument;
class XmlParser;

// Whether a grammar's "type" names an SRGS grammar in XML: the system's own
// "application/grammar+xml" or the standard "application/srgs+xml".
bool IsSrgsXmlType(const std::string& type);

class GrammarManager {
 public:
  static constexpr std::size_t kMaxEntries = 50;
  // The longest "AddGram\t" command; a longer one is cut to it (and logged).
  static constexpr std::size_t kMaxCommand = 255;

  // The log and the scopes are required (not null); neither they nor the
  // peer are owned, and all must outlive the manager. Creates the grammar
  // input stream and a grammar parser on it.
  GrammarManager(SessionLog* mainLog, EcmaScopes* scopes, PeerLink& peer);
  ~GrammarManager();
  GrammarManager(const GrammarManager&) = delete;
  GrammarManager& operator=(const GrammarManager&) = delete;

  // Registers the parser's grammar elements in document order.
  void LoadGrammarList(const XmlParser& parser);
  // Deletes every entry.
  void UnloadGrammarList();
  // The active flag of each entry, in order: a nested run (a subdialog)
  // takes them before it registers grammars of its own, and RestoreEntries
  // then removes the entries registered after them and puts the flags back.
  std::vector<bool> ActiveFlags() const;
  void RestoreEntries(const std::vector<bool>& active);
  // Registers one <grammar> element: scope class and owner by its parent P,
  // the identity (P's "name" for a field, else P's tag name + the entry
  // count) bound to P as a new VariableBinding, then the adder that "type"
  // chooses, or the internal grammar when "src" is empty (LeftUnfetched
  // grammars aside). A grammar without
  // a parent is logged and skipped; one with "src" and an unknown "type" is
  // not registered.
  void InitGrammar(Element* grammar);
  // Registers an inline grammar as an internal entry owned by its parent,
  // with the generated name; writes the BNF file when its "type" is
  // "application/grammar+xml". Inline grammars of any other type, or of
  // none, are served as "bnf", with no file and an empty recogniser URI.
  void ServeInternalGrammar(Element* grammar, const std::string& scopeClass);
  // Builds the choice grammar of a menu (its <choice> children) or of a field
  // (its <option> children) and registers it through InitGrammar, owned by
  // the first choice or option. A menu or field without any registers
  // nothing and logs it.
  void BuildChoiceGrammar(Element* menuOrField);

  // Sets the active flags by the three rules above; clears nothing. A null
  // element is ignored; for any other element but a <choice> whose parent
  // has no binding, the lack is logged and only rule 3 applies.
  void ActivateForElement(const Element* element);
  // Clear the active and sent flags of every entry of scope class "dialog",
  // respectively "unknown".
  void DeactivateScopeDialog();
  void DeactivateScopeUnknown();
  // Clears the active and sent flags of every choice grammar that
  // BuildChoiceGrammar made: a menu's choices are heard only while it runs.
  void DeactivateChoiceGrammars();
  // Clears the matched flag of every entry.
  void ClearMatched();
  // Sends "NewGroup\t" and reads one reply. Returns 0.
  int NewGroup();
  // Clears every sent flag, then announces the active entries: all of them,
  // or, when the item's "modal" is "true", those whose field name equals the
  // item's "name". Each announced entry is marked sent and costs one
  // "AddGram\t:gramURI <uri>\t:gramTYPE <type>\t:loc_DICT <dictionary>"
  // request; a hang-up does not stop the loop.
  void ActivateGrammars(const Element* item);

  // Writes the BNF file of the entry's grammar tree to bnf::BnfFilePath of
  // its name (folders are created when missing) and makes that path the
  // entry's recogniser URI and the current source. A file that cannot be
  // created prints "GRAMman: ERROR OPEN TEMP FILE >" + path; the URI is set
  // all the same. An entry without a grammar tree gets an empty file.
  void WriteBnf(GrammarEntry& entry);
  // "lang_resources\\Dictionaries\\" + base name + ".dic", the base name
  // being the text between the last "/" and the first "." of the name (up to
  // the end when there is no "."); the bare folder when there is no "/" or
  // the first "." lies before it; "" for an empty name.
  static std::string DictionaryPath(const std::string& name);

  // For the executors and the semantic resolver.
  bool HangUp() const { return hangUp_; }
  const std::vector<std::unique_ptr<GrammarEntry>>& Entries() const { return entries_; }
  const std::string& CurrentFormat() const { return currentFormat_; }
  void SetCurrentFormat(const std::string& format) { currentFormat_ = format; }
  const std::string& CurrentSource() const { return currentSource_; }
  EcmaScopes* Scopes() const { return scopes_; }
  SessionLog* MainLog() const { return mainLog_; }

 private:
  // The adders of grammars read from files: (grammar element, src, scope class).
  void AddListGrammar(Element* grammar, const std::string& src, const std::string& scopeClass);
  void AddXmlGrammar(Element* grammar, const std::string& src, const std::string& scopeClass);
  void AddSlfGrammar(Element* grammar, const std::string& src, const std::string& scopeClass);
  void AddBnfGrammar(Element* grammar, const std::string& src, const std::string& scopeClass);
  // The common part of the list, slf and bnf adders.
  void AddFileGrammar(Element* grammar, const std::string& src, const std::string& scopeClass,
                      const std::string& format);
  // Fills the fields every file adder sets the same way (owner, holder,
  // name, item name, scope class, dictionary path) and logs the addition.
  void CompleteFileEntry(GrammarEntry& entry, Element* grammar, const std::string& src,
                         const std::string& scopeClass);
  // A grammar named by "srcexpr" or "expr" (without "src") is never
  // fetched: both are named in the main log as not run ("in the grammar of
  // the field city"). True when it holds no rules or text of its own either:
  // it is not registered, so no empty grammar is announced.
  bool LeftUnfetched(const Element& grammar);
  // Parses an SRGS file with a fresh grammar input stream and parser; the
  // document's root is the grammar tree. Ends the process when the file
  // cannot be read (XmlParser::ParseFile).
  std::unique_ptr<VxmlDocument> ParseSrgsFile(const std::string& src);

  // A fresh entry for the <grammar> element: in the place of the entry
  // registered from it before, or appended. Null (and an error in the main
  // log) when the table is full.
  GrammarEntry* NewEntry(const Element* grammar, const std::string& name);
  // The index of the entry registered from the <grammar> element, or the
  // entry count when there is none.
  std::size_t FindEntry(const Element* grammar) const;
  // The field name by which a modal item filters the entry.
  std::string FieldName(const GrammarEntry& entry) const;
  void Announce(GrammarEntry& entry);
  void Deactivate(const std::string& scopeClass);
  // Reads one reply; "End" sets the hang-up flag.
  void ReadReply();

  std::string currentSource_;
  std::string currentFormat_;
  std::vector<std::unique_ptr<GrammarEntry>> entries_;
  std::unique_ptr<std::ifstream> grammarInput_;
  std::string currentIdentity_;
  bool hangUp_ = false;
  std::unique_ptr<XmlParser> grammarParser_;
  EcmaScopes* scopes_;
  SessionLog* mainLog_;
  PeerLink& peer_;
  // The choice grammar built for each menu or field, rebuilt in place on
  // each run so that the entry registered from it is reused.
  std::map<const Element*, Element*> choiceGrammars_;
};
