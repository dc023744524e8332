// Splitting the compound names that travel in frames, options and the server
// locations file. Every text result is a new malloc'd string the caller frees.
#pragma once

// "server.operation": gives a copy of the text after the first "." and, when
// `prefix` is given, a copy of the text before it. Without a "." the whole
// text comes back and *prefix is null. Null text: null, *prefix null.
char* Hub_SplitOperationName(const char* text, char** prefix);

// "host:port": gives a copy of the text before the first ":" and, when `port`
// is given, the decimal number after it; text that is not a number, or a number
// outside 1..65535, gives 0. Without a ":" the whole text comes back and *port
// is -1. Null text: null, *port -1.
char* Hub_SplitHostPort(const char* text, int* port);

// "[index]text": gives a copy of what follows the first "]" (null when nothing
// does); text without a leading "[", or without a "]", comes back whole. The
// characters between the brackets (without a "]": all but the first and last
// character) are read as a decimal number: when it has at least one digit and
// fits an int, *index gets it (else it stays -1); otherwise *badIndex gets a
// copy of those characters (else it stays null). Null text: null.
char* Hub_SplitIndexPrefix(const char* text, int* index, char** badIndex);
