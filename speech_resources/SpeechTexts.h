// Texts of the server that hold non-ASCII characters, as the Windows-1250
// bytes that go into the logs and to the peer.
#pragma once

namespace speechtexts {

// "DM generuje požiadavku na nahratie audio zaznamu."
inline constexpr char kRecordRequest[] =
    "DM generuje po\x9e" "iadavku na nahratie audio zaznamu.";

// "Prepáčte, systém zlyhal. Hovor bude ukončený. Zavolajte prosím neskôr."
// (spoken before a dialogue is broken off after too many events)
inline constexpr char kApology[] =
    "Prep\xe1\xe8te, syst\xe9m zlyhal. Hovor bude ukon\xe8" "en\xfd. Zavolajte pros\xedm nesk\xf4r.";

}  // namespace speechtexts
