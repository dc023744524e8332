// The hub library's element decoder over any bytes. Whatever decodes must
// encode again, and those bytes must decode to the same value: encoding that
// second value gives the same bytes once more.
//
// Input: the encoded element.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "libhub/io/Xdr.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tests/fuzz/HubFuzzSetup.h"

namespace {

// Decodes the bytes and encodes the value again: true with the new bytes in
// *encoded, false when the bytes do not decode.
bool Reencode(const char* bytes, int32_t length, std::string* encoded) {
  int32_t type = 0, size = 0;
  uintptr_t value = 0;
  if (!HubIO_DecodeElement(bytes, length, &type, &value, &size)) return false;
  int32_t encodedLength = 0;
  char* again = HubIO_EncodeElement(type, value, size, &encodedLength);
  HubIO_FreeElement(type, value, size);
  FUZZ_CHECK(again != nullptr);
  encoded->assign(again, encodedLength);
  free(again);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzsupport::InitializeHubQuietly();
  if (size > INT32_MAX) return 0;
  std::string first, second;
  if (!Reencode(reinterpret_cast<const char*>(data), static_cast<int32_t>(size), &first)) return 0;
  FUZZ_CHECK(Reencode(first.data(), static_cast<int32_t>(first.size()), &second));
  FUZZ_CHECK(second == first);
  return 0;
}
