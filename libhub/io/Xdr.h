// The element codec of the hub protocol: one typed value (most often a frame)
// as XDR over memory streams.
//
// An element is an XDR int type code, then its value:
//   frame (1)                kind, name (string; "" for a frame without one),
//                            count of properties with a value, each as key
//                            string + element, predicate count, each predicate
//                            as an element
//   string (2), token (19)   string
//   int (3)                  int
//   float (4)                float
//   symbol (5), keyword (17), tag (18)   the name as a string
//   list (6)                 count, each member as an element
//   binary (11)              variable-length opaque
//   int16 (12), int32 (13), float32 (15), float64 (16)
//                            counted array of shorts (4 bytes on the wire),
//                            ints, floats, doubles
//   broker proxy (20)        call id string, host string, port int, object type int
// Free (0), pointer (7), the frame-kind codes 8 to 10, int64 arrays (14) and
// codes above 20 are refused both ways.
//
// Raw element values (what EncodeElement takes and DecodeElement gives): a
// frame is a Hub_Frame*; a string or token a char*; an int the integer itself;
// a float a float*; a symbol, keyword or tag a Hub_Symbol; a list a
// Hub_Object** with `size` members; binary data and arrays a pointer to the
// elements with `size` elements (bytes for binary); a proxy a Hub_BrokerProxy*.
// The size of other values is 1 (for decoded strings: the text length).
// Decoded values are new allocations (malloc, frames, objects, proxies) owned
// by the caller; HubIO_FreeElement frees them, HubIO_MakeElementObject wraps
// them in an object that takes them over.
//
// Decoding trusts nothing: every length and count must fit in the bytes that
// are left (found with the stream's own operations) before anything is
// allocated; frame names, keys and symbol names hold at most 1024
// characters; elements nest at most 100 levels deep. A failed decoding frees
// everything it made.
#pragma once
#include <rpc/xdr.h>

#include <cstdint>

#include "libhub/frames/Frame.h"
#include "libhub/frames/Object.h"

// Longest frame name, property key or symbol name that decodes.
constexpr int32_t HUBIO_MAX_NAME_LENGTH = 1024;
// Deepest nesting of elements that decodes (the outermost element is level 1).
constexpr int32_t HUBIO_MAX_NESTING = 100;

// A new malloc'd block holding the element and, in *length, its byte count;
// null and length 0 when any part cannot be encoded (with a warning for
// refused type codes).
char* HubIO_EncodeElement(int32_t type, uintptr_t value, int32_t size, int32_t* length);
// The element of the frame (type 1, size 1).
char* HubIO_EncodeFrame(const Hub_Frame* frame, int32_t* length);

// Decodes one element from `length` bytes: 1 with the type code, raw value and
// size, or 0 (the outs are then 0; nothing stays allocated).
int HubIO_DecodeElement(const char* bytes, int32_t length, int32_t* type, uintptr_t* value,
                        int32_t* size);
// One element from a memory stream, as a new object that owns what was
// decoded; null on failure.
Hub_Object* HubIO_DecodeObject(XDR* stream);

// Frees a raw value as decoded, by destroying the object that takes it over:
// a frame is destroyed, a list destroys its members and frees its array, a
// proxy is destroyed, texts, floats, binary data and arrays are freed; ints
// and symbols need nothing.
void HubIO_FreeElement(int32_t type, uintptr_t value, int32_t size);
// A new object that takes over a raw decoded value (fatal when its record
// cannot be had); null for a null value or an undecodable type code.
Hub_Object* HubIO_MakeElementObject(int32_t type, uintptr_t value, int32_t size);
