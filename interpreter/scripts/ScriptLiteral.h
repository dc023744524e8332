// String literals and names in generated script commands. Every text that
// becomes a string literal of a command the server builds (an utterance, a
// value read from a peer or a file, a name put between quotes) goes through
// here, so a quote in it can neither break the command nor run as script; a
// name read from a peer or a file is used only when IsPlainName accepts it.
// Texts that are script expressions (a "cond", an "expr") are never escaped.
#pragma once
#include <string>

// The text with a backslash put before every backslash, single quote and
// double quote, and with carriage return and line feed written as \r and \n.
// The result is safe between single or double quotes; other bytes (those of
// Windows-1250 above 0x7F included) are kept as they are.
std::string EscapeScriptString(const std::string& text);

// "'" + EscapeScriptString(text) + "'": a complete single-quoted literal.
std::string QuoteScriptString(const std::string& text);

// True for ASCII identifiers (a letter, "_" or "$", then also digits) joined
// by single dots, and for the empty text; false when any part is "prototype"
// or names a member of the prototype that every object shares ("__proto__",
// "constructor", "toString", "valueOf", "hasOwnProperty", ...): such a name
// would reach that prototype, or hide a member every object must keep.
bool IsPlainName(const std::string& name);

// True for an integer as written: blanks, then a sign, then digits, and
// nothing else. Such a text stands in a command as DecimalLiteral writes it.
bool IsIntegerText(const std::string& text);

// An integer as written (IsIntegerText) as the decimal number it reads: the
// zeros that start its digits dropped, one kept when nothing else is left
// ("0777" is 777, "-0010" is -10, "00" is 0), since the engine would read a
// leading zero as an old octal number. Blanks and the sign stay.
std::string DecimalLiteral(const std::string& integer);
