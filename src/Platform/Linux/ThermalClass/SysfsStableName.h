// The names of the stable naming: "zone:TYPE:K" and "cooling:TYPE:K", built
// from the kernel's `type` text so that they survive a renumbering of the
// thermal class at the next boot. Both fit the 63 characters the library reads
// back from the registry view.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The `type` text as it appears in a name: printable ASCII other than ':',
// with anything else (blanks included) turned into '_', at most 40
// characters; "unknown" when empty.
std::string StableTypeText(std::string_view type);

// `kind` ("zone" or "cooling"), the cleaned type and the position among
// participants of that kind and type.
std::string StableParticipantName(std::string_view kind, const std::string& type,
                                  uint32_t position);
