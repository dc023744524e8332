#include "libhub/util/NameSplit.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

// A copy of the text [start, start + length).
char* CopyPart(const char* start, size_t length) {
  char* copy = static_cast<char*>(malloc(length + 1));
  if (!copy) return nullptr;
  memcpy(copy, start, length);
  copy[length] = '\0';
  return copy;
}

char* Copy(const char* text) { return CopyPart(text, strlen(text)); }

// The port number of a "host:port" text: 0 unless it is a number in 1..65535.
int ReadPort(const char* text) {
  char* end = nullptr;
  errno = 0;
  long port = strtol(text, &end, 10);
  if (end == text || errno != 0 || port < 1 || port > 65535) return 0;
  return static_cast<int>(port);
}

}  // namespace

char* Hub_SplitOperationName(const char* text, char** prefix) {
  if (prefix) *prefix = nullptr;
  if (!text) return nullptr;
  const char* point = strchr(text, '.');
  if (!point) return Copy(text);
  if (prefix) *prefix = CopyPart(text, point - text);
  return Copy(point + 1);
}

char* Hub_SplitHostPort(const char* text, int* port) {
  if (port) *port = -1;
  if (!text) return nullptr;
  const char* colon = strchr(text, ':');
  if (!colon) return Copy(text);
  if (port) *port = ReadPort(colon + 1);
  return CopyPart(text, colon - text);
}

char* Hub_SplitIndexPrefix(const char* text, int* index, char** badIndex) {
  if (index) *index = -1;
  if (badIndex) *badIndex = nullptr;
  if (!text) return nullptr;
  if (text[0] != '[') return Copy(text);
  const char* close = strchr(text, ']');
  char* rest;
  const char* inside = text + 1;
  size_t insideLength;
  if (close) {
    rest = close[1] ? Copy(close + 1) : nullptr;
    insideLength = close - inside;
  } else {
    // Without a "]" the index is all but the first and the last character; a
    // text of one character has none.
    rest = Copy(text);
    size_t length = strlen(text);
    insideLength = length >= 2 ? length - 2 : 0;
  }
  if (index || badIndex) {
    char* digits = CopyPart(inside, insideLength);
    if (digits) {
      char* end = nullptr;
      errno = 0;
      long number = strtol(digits, &end, 10);
      bool fits = errno == 0 && number >= INT_MIN && number <= INT_MAX;
      if (end != digits && fits) {
        if (index) *index = static_cast<int>(number);
        free(digits);
      } else if (badIndex) {
        *badIndex = digits;
      } else {
        free(digits);
      }
    }
  }
  return rest;
}
