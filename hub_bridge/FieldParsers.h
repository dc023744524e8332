// The bridge's positional parsers for the dialog manager's messages. A
// message is a command word and fields, each a TAB, a colon, a key, one blank
// and the value ("Synt\t:text Hello\t:bargein true"). Fields are taken by
// position; their keys are never compared with anything. Both parsers work
// in place: the message is shortened so that the next call finds what follows.
// FieldValue makes a text from outside fit to stand as one field's value, and
// RecognitionReply builds the one message that carries four of them.
#pragma once
#include <cstdint>
#include <string>

// Takes the next field: it starts after the first "\t:" and runs to the next
// "\t:" or the end, and the message is shortened to start at it. With a blank
// in the field, the key is the text before the first blank and the value the
// text after it, less one trailing TAB; without one, the key is left as it
// was and the value is the field less its first character. False, with
// nothing changed, when the message holds no "\t:".
bool TakeNextField(std::string& message, std::string& key, std::string& value);

// Takes the text after the first ':' up to the next "\t:" or the end (empty
// when "\t:" follows at once), and shortens the message to start right after
// that ':'. False, with nothing changed, when the message holds no ':'.
bool TakeColonText(std::string& message, std::string& text);

// The text with every TAB, CR, LF and NUL replaced by a blank, so that it
// stays one field's value: it can add neither a field nor a line.
std::string FieldValue(std::string text);

// ":utt U\t:conf C\t:noinput N\t:semantic S", the recogniser's answer as the
// dialog manager reads it: U and S through FieldValue, so the reply holds
// exactly these four fields whatever the texts; C as "%G", and 0 when it is
// no finite number; N in decimal.
std::string RecognitionReply(const std::string& utterance, float confidence, int32_t noInput,
                             const std::string& semantic);
