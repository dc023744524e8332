// Text form of frames and objects, in three layouts:
//   0 pretty   — one property per line, indented: "{c reply\n   :n 3 }"
//   1 readable — one line: "{c reply :n 3 }", "( 1 2 3 )"
//   2 brief    — like pretty, nested frames and lists cut short, strings of 60
//                bytes or more abbreviated to 50 bytes and " ..."
// Any other layout prints nothing. A print context carries the layout and the
// indentation through nested frames and lists and collects the text.
//
// Frames come from peers, so every text the library logs or quotes in a
// message is bounded: at most HUB_LOGGED_TEXT_LIMIT bytes, ending with "..."
// when cut, and nested at most HUB_LOGGED_DEPTH levels (deeper frames print as
// "{c name ... }", deeper lists as "( ... )").
#pragma once
#include <cstdio>

struct Hub_Object;
struct Hub_Frame;
struct Hub_ByteBuffer;

constexpr int HUB_LOGGED_TEXT_LIMIT = 8192;
constexpr int HUB_LOGGED_DEPTH = 8;

struct Hub_PrintContext {
  int layout;
  int indent;               // current indentation in characters
  int depth;                // frames and lists being printed around the current point
  int maxDepth;             // 0: the default of 64
  int limit;                // most bytes of text; 0: no limit
  int cut;                  // the limit was reached: nothing more is printed
  Hub_ByteBuffer* scratch;  // for display texts; made on demand
  int error;                // a property failed; ends the frame
  Hub_ByteBuffer* output;   // receives the text
  int ownsOutput;           // the context made the output and destroys it
};

enum Hub_PrintLayout { HUB_PRETTY_LAYOUT = 0, HUB_READABLE_LAYOUT = 1, HUB_BRIEF_LAYOUT = 2 };

// A context for one printing operation; without an output buffer it makes an
// empty growing text buffer of its own. No limits. Fatal when memory runs out.
Hub_PrintContext* Hub_CreatePrintContext(int layout, Hub_ByteBuffer* output);
// A context that stops printing once the text holds `limit` more bytes (it
// then sets `cut`) and prints nothing nested deeper than `maxDepth`.
Hub_PrintContext* Hub_CreateBoundedPrintContext(int layout, Hub_ByteBuffer* output, int limit,
                                                int maxDepth);
// Destroys the scratch buffer and an owned output.
void Hub_DestroyPrintContext(Hub_PrintContext* context);
// The text printed so far (never null; valid until more is printed or the
// context is destroyed).
const char* Hub_PrintContextText(const Hub_PrintContext* context);

// Append the text of the object or frame: 1, or 0 on failure.
int Hub_PrintObject(const Hub_Object* object, Hub_PrintContext* context);
int Hub_PrintFrame(const Hub_Frame* frame, Hub_PrintContext* context);

// At a verbosity of at least `level`: the pretty text (bounded) and a line end
// through the library's output.
void Hub_LogFrame(int level, const Hub_Frame* frame);
// At verbosity 4 or more the pretty text, else at a verbosity of at least
// `level` the brief text (both bounded); then a line end.
void Hub_LogFrameBrief(const Hub_Frame* frame, int level);
// The pretty text and a line end into the file (standard output and error go
// through the library's output at every verbosity).
void Hub_WriteFramePretty(const Hub_Frame* frame, FILE* file);
// A symbol's name, or the object's readable text (bounded) printed into *scratch (emptied
// first; made when *scratch is null and handed to the caller, who destroys it
// with Hub_DestroyByteBuffer). "" when it cannot be printed, or when `scratch`
// itself is null and the object is not a symbol.
const char* Hub_ObjectDisplayText(const Hub_Object* object, Hub_ByteBuffer** scratch);
