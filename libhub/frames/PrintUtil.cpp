#include "libhub/frames/PrintUtil.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

#include "libhub/frames/BrokerProxy.h"
#include "libhub/frames/Frame.h"
#include "libhub/util/DynamicBuffer.h"
#include "libhub/util/PlatformUtil.h"
#include "libhub/util/Print.h"

namespace {

const char* const kLocation = "libhub/frames/pr_util";
// Frames and lists nested deeper than this print cut short, so that a frame
// that contains itself cannot exhaust the stack.
constexpr int kMaxNesting = 64;
// Strings this long or longer are cut to kBriefStringKeep bytes in the brief layout.
constexpr size_t kBriefStringLimit = 60;
constexpr size_t kBriefStringKeep = 50;
// The invalid frame pointer (all bits set).
const Hub_Frame* const kBadFrame = reinterpret_cast<const Hub_Frame*>(~uintptr_t{0});

bool ValidLayout(int layout) { return layout >= HUB_PRETTY_LAYOUT && layout <= HUB_BRIEF_LAYOUT; }

// Bytes the context may still print: at least 1 with a limit; -1 without one.
int Room(const Hub_PrintContext* context) {
  if (context->limit <= 0) return -1;
  int room = context->limit - Hub_ByteBufferSize(context->output);
  return room > 0 ? room : 0;
}

// Cuts the text at the limit once it is passed; nothing more is printed then.
int Bound(Hub_PrintContext* context, int result) {
  if (result && context->limit > 0 && Hub_ByteBufferSize(context->output) > context->limit) {
    context->output->size = context->limit;
    context->output->data[context->limit] = '\0';
    context->cut = 1;
  }
  return result;
}

int Append(Hub_PrintContext* context, const char* text) {
  if (context->cut) return 1;
  return Bound(context, Hub_ByteBufferAppendText(context->output, text ? text : ""));
}

int AppendFormat(Hub_PrintContext* context, const char* format, ...) {
  if (context->cut) return 1;
  va_list args;
  va_start(args, format);
  int result = Hub_ByteBufferAppendFormatV(context->output, -1, format, args);
  va_end(args);
  return Bound(context, result);
}

// A double quote, the text with a backslash before every double quote and
// backslash, a double quote. A null text prints as two double quotes. Only as
// much of the text as the limit lets through is looked at.
int AppendQuoted(Hub_PrintContext* context, const char* text, size_t length) {
  int room = Room(context);
  if (room >= 0 && length > static_cast<size_t>(room)) length = room;
  std::string quoted = "\"";
  for (size_t i = 0; text && i < length; ++i) {
    if (text[i] == '"' || text[i] == '\\') quoted += '\\';
    quoted += text[i];
  }
  quoted += '"';
  return Append(context, quoted.c_str());
}

int PrintString(const char* text, Hub_PrintContext* context) {
  size_t length = text ? strlen(text) : 0;
  if (context->layout == HUB_BRIEF_LAYOUT && length >= kBriefStringLimit) {
    std::string cut(text, kBriefStringKeep);
    cut += " ...";
    return AppendQuoted(context, cut.c_str(), cut.size());
  }
  return AppendQuoted(context, text, length);
}

int PrintBinary(const Hub_Object* object, Hub_PrintContext* context) {
  int32_t size = 0;
  void* bytes = Hub_ArrayObjectContents(object, &size);
  if (context->layout == HUB_BRIEF_LAYOUT) {
    return AppendFormat(context, "%% %d %s object", size, Hub_ObjectTypeName(object));
  }
  char* encoded = HubUtil_EncodeBinary(bytes, size);
  const char* text = encoded ? encoded : "";
  int result =
      AppendFormat(context, context->layout == HUB_PRETTY_LAYOUT ? "%% %d %d %s\n" : "%% %d %d %s",
                   size, static_cast<int>(strlen(text)), text);
  free(encoded);
  return result;
}

int PrintArray(const Hub_Object* object, Hub_PrintContext* context) {
  if (context->layout == HUB_READABLE_LAYOUT) {
    return AppendFormat(context, "\"[non-readable frame element: array of type %s]\"",
                        Hub_ObjectTypeName(object));
  }
  return AppendFormat(context, "\"[array: type %s, %d bytes]\"", Hub_ObjectTypeName(object),
                      Hub_ObjectLength(object));
}

int PrintProxy(const Hub_Object* object, Hub_PrintContext* context) {
  Hub_BrokerProxy* proxy = Hub_ObjectProxy(object);
  if (!proxy) return Append(context, "NULLObject");
  const char* type = proxy->objectType == -1 ? "any" : Hub_TypeCodeName(proxy->objectType);
  const char* format =
      context->layout == HUB_READABLE_LAYOUT
          ? "\"[non-readable frame element: broker proxy, call ID %s, host %s, port %d, type %s]\""
          : "\"[broker proxy: call ID %s, host %s, port %d, type %s]\"";
  return AppendFormat(context, format, proxy->callId ? proxy->callId : "",
                      proxy->host ? proxy->host : "", proxy->port, type);
}

// "( ", the elements, " )". In the pretty and brief layouts the list's body is
// indented by 2 more than its opening, and every separator (a line end and
// that indentation) uses the raised indent, so the elements line up under the
// first one: "( 1\n  2\n  3 )" at indent 0. The brief layout ends after the
// first separator with "... )".
int PrintList(const Hub_Object* object, Hub_PrintContext* context) {
  if (!Append(context, "( ")) return 0;
  int saved = context->indent;
  if (context->layout != HUB_READABLE_LAYOUT) context->indent += 2;
  int32_t count = Hub_ListObjectLength(object);
  int ok = 1;
  bool cut = false;
  for (int32_t i = 0; i < count && ok && !cut && !context->cut; ++i) {
    if (i > 0) {
      ok = context->layout == HUB_READABLE_LAYOUT
               ? Append(context, " ")
               : AppendFormat(context, "\n%-*s", context->indent, " ");
      cut = context->layout == HUB_BRIEF_LAYOUT;
    }
    if (ok && !cut) ok = Hub_PrintObject(Hub_ListObjectElement(object, i), context);
  }
  context->indent = saved;
  if (!ok) return 0;
  return Append(context, cut ? "... )" : " )");
}

int MaxDepth(const Hub_PrintContext* context) {
  return context->maxDepth > 0 ? context->maxDepth : kMaxNesting;
}

int PrintNestedList(const Hub_Object* object, Hub_PrintContext* context) {
  if (context->depth >= MaxDepth(context)) return Append(context, "( ... )");
  ++context->depth;
  int ok = PrintList(object, context);
  --context->depth;
  return ok;
}

bool IllegalInFrame(int type) {
  return type == HUB_KEYWORD || type == HUB_TAG || type == HUB_TOKEN || type == HUB_PTR;
}

int PrintProperty(const char* key, const Hub_Object* value, Hub_PrintContext* context) {
  if (context->layout != HUB_BRIEF_LAYOUT && IllegalInFrame(Hub_ObjectTypeCode(value))) {
    HubUtil_PrintWarningAt(kLocation,
                           "Found illegal object type %s (%s) for key %s while printing frame "
                           "properties",
                           Hub_ObjectTypeName(value),
                           Hub_ObjectDisplayText(value, &context->scratch), key);
    return 1;
  }
  if (context->layout == HUB_READABLE_LAYOUT) {
    return AppendFormat(context, " %s ", key) && Hub_PrintObject(value, context);
  }
  if (!AppendFormat(context, "\n%-*s%s ", context->indent, " ", key)) return 0;
  int saved = context->indent;
  context->indent += static_cast<int>(strlen(key));
  int ok = Hub_PrintObject(value, context);
  context->indent = saved;
  return ok;
}

// Stops the walk over the properties once the text is cut.
int PrintPropertyCallback(const char* key, Hub_Object* value, void* data) {
  auto* context = static_cast<Hub_PrintContext*>(data);
  return PrintProperty(key, value, context) && !context->cut;
}

const char* Opening(int kind) {
  switch (kind) {
    case HUB_KIND_TOPIC: return "{q ";
    case HUB_KIND_CLAUSE: return "{c ";
    case HUB_KIND_PREDICATE: return "{p ";
    default: return "{  ";
  }
}

int PrintFrameBody(const Hub_Frame* frame, Hub_PrintContext* context) {
  int saved = context->indent;
  if (context->layout != HUB_READABLE_LAYOUT) context->indent += 3;
  ++context->depth;
  int ok = Hub_ApplyToFrameProperties(frame, PrintPropertyCallback, context) || context->cut;
  for (int32_t i = 0; ok && !context->cut && i < Hub_PredicateCount(frame); ++i) {
    ok = PrintProperty(":pred", Hub_PredicateObject(frame, i), context);
  }
  --context->depth;
  context->indent = saved;
  if (!ok) {
    context->error = 1;
    return 0;
  }
  return Append(context, " }");
}

// The context's text, ending with "..." when it was cut.
const char* FinishedText(Hub_PrintContext* context) {
  if (context->cut) Hub_ByteBufferAppendText(context->output, "...");
  context->cut = 0;
  return Hub_PrintContextText(context);
}

// Prints the frame's text in the layout, bounded when `bounded`, and hands it
// to `use`; false when it could not be printed.
template <typename Use>
bool WithFrameText(const Hub_Frame* frame, int layout, bool bounded, Use use) {
  Hub_PrintContext* context =
      bounded ? Hub_CreateBoundedPrintContext(layout, nullptr, HUB_LOGGED_TEXT_LIMIT,
                                              HUB_LOGGED_DEPTH)
              : Hub_CreatePrintContext(layout, nullptr);
  bool ok = Hub_PrintFrame(frame, context) != 0;
  if (ok) use(FinishedText(context));
  Hub_DestroyPrintContext(context);
  return ok;
}

}  // namespace

Hub_PrintContext* Hub_CreatePrintContext(int layout, Hub_ByteBuffer* output) {
  auto* context = static_cast<Hub_PrintContext*>(calloc(1, sizeof(Hub_PrintContext)));
  HubUtil_Assert(context != nullptr, "Error alloc'ing memory for a print context");
  context->layout = layout;
  context->output = output ? output : Hub_MakeTextBuffer(nullptr, 0);
  HubUtil_Assert(context->output != nullptr, "Error alloc'ing memory for a print context");
  context->ownsOutput = output ? 0 : 1;
  return context;
}

Hub_PrintContext* Hub_CreateBoundedPrintContext(int layout, Hub_ByteBuffer* output, int limit,
                                                int maxDepth) {
  Hub_PrintContext* context = Hub_CreatePrintContext(layout, output);
  // A given output may hold text already: the limit counts from its end.
  context->limit = limit > 0 ? Hub_ByteBufferSize(context->output) + limit : 0;
  context->maxDepth = maxDepth;
  return context;
}

void Hub_DestroyPrintContext(Hub_PrintContext* context) {
  if (!context) return;
  Hub_DestroyByteBuffer(context->scratch);
  if (context->ownsOutput) Hub_DestroyByteBuffer(context->output);
  free(context);
}

const char* Hub_PrintContextText(const Hub_PrintContext* context) {
  const char* data = Hub_ByteBufferData(context->output);
  return data && Hub_ByteBufferSize(context->output) > 0 ? data : "";
}

int Hub_PrintObject(const Hub_Object* object, Hub_PrintContext* context) {
  if (!ValidLayout(context->layout)) return 0;
  if (!object) return Append(context, "NULLObject");
  uintptr_t value = object->value;
  switch (object->type) {
    case HUB_FRAME: return Hub_PrintFrame(reinterpret_cast<const Hub_Frame*>(value), context);
    case HUB_STRING: return PrintString(reinterpret_cast<const char*>(value), context);
    case HUB_INT: return AppendFormat(context, "%d", Hub_ObjectInt(object));
    case HUB_FLOAT:
      return AppendFormat(context, "%e", static_cast<double>(Hub_ObjectFloat(object)));
    case HUB_SYMBOL:
    case HUB_KEYWORD:
    case HUB_TAG: return Append(context, Hub_SymbolName(reinterpret_cast<Hub_Symbol>(value)));
    case HUB_TOKEN: return Append(context, reinterpret_cast<const char*>(value));
    case HUB_LIST: return PrintNestedList(object, context);
    case HUB_BINARY: return PrintBinary(object, context);
    case HUB_INT_16:
    case HUB_INT_32:
    case HUB_INT_64:
    case HUB_FLOAT_32:
    case HUB_FLOAT_64: return PrintArray(object, context);
    case HUB_PROXY: return PrintProxy(object, context);
    default:
      HubUtil_PrintWarningAt(kLocation, "Cannot print Hub_Object of type %s",
                             Hub_ObjectTypeName(object));
      return Append(context, "NULLObject");
  }
}

int Hub_PrintFrame(const Hub_Frame* frame, Hub_PrintContext* context) {
  if (!ValidLayout(context->layout)) return 0;
  if (!frame) return Append(context, "NULLFrame");
  if (frame == kBadFrame) return Append(context, "BadFrame");
  const char* name = Hub_FrameName(frame);
  if (!Append(context, Opening(frame->kind)) || !Append(context, name ? name : "NO_NAME")) {
    return 0;
  }
  bool nestedBrief = context->layout == HUB_BRIEF_LAYOUT && context->indent >= 1;
  if (nestedBrief || context->depth >= MaxDepth(context)) return Append(context, " ... }");
  return PrintFrameBody(frame, context);
}

void Hub_LogFrame(int level, const Hub_Frame* frame) {
  if (HubUtil_GetVerbosity() < level) return;
  WithFrameText(frame, HUB_PRETTY_LAYOUT, true,
                [level](const char* text) { HubUtil_PrintAtLevel(level, "%s\n", text); });
}

void Hub_LogFrameBrief(const Hub_Frame* frame, int level) {
  int verbosity = HubUtil_GetVerbosity();
  if (verbosity >= 4) {
    WithFrameText(frame, HUB_PRETTY_LAYOUT, true,
                  [](const char* text) { HubUtil_StreamPrint(stdout, "%s\n", text); });
  } else if (verbosity >= level) {
    WithFrameText(frame, HUB_BRIEF_LAYOUT, true,
                  [level](const char* text) { HubUtil_PrintAtLevel(level, "%s\n", text); });
  }
}

void Hub_WriteFramePretty(const Hub_Frame* frame, FILE* file) {
  WithFrameText(frame, HUB_PRETTY_LAYOUT, false,
                [file](const char* text) { HubUtil_StreamPrint(file, "%s\n", text); });
}

const char* Hub_ObjectDisplayText(const Hub_Object* object, Hub_ByteBuffer** scratch) {
  int type = Hub_ObjectTypeCode(object);
  if (type == HUB_SYMBOL || type == HUB_KEYWORD || type == HUB_TAG) {
    const char* name = Hub_SymbolName(reinterpret_cast<Hub_Symbol>(object->value));
    return name ? name : "";
  }
  if (!scratch) return "";
  if (!*scratch) *scratch = Hub_MakeTextBuffer(nullptr, 0);
  if (!*scratch) return "";
  (*scratch)->size = 0;
  if ((*scratch)->data && (*scratch)->capacity > 0) (*scratch)->data[0] = '\0';
  Hub_PrintContext* context = Hub_CreateBoundedPrintContext(
      HUB_READABLE_LAYOUT, *scratch, HUB_LOGGED_TEXT_LIMIT, HUB_LOGGED_DEPTH);
  int ok = Hub_PrintObject(object, context);
  const char* text = ok ? FinishedText(context) : "";
  Hub_DestroyPrintContext(context);
  return text;
}
