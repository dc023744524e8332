// Texts of the speech resources that hold non-ASCII characters, as the
// Windows-1250 bytes that go into the logs.
#pragma once

namespace speechtexts {

// "DM generuje požiadavku na nahratie audio zaznamu."
inline constexpr char kRecordRequest[] =
    "DM generuje po\x9e" "iadavku na nahratie audio zaznamu.";

}  // namespace speechtexts
