// A registry-listed participant whose driver does not open or does not
// describe itself stays in the library's lists as a record without a name.
// zivo labels such a record with the path it was listed under and the reason,
// and never shows it as valid. On Linux the reason names the file and the
// errno of the access that failed.
#pragma once

#include "ParticipantView.h"

// Matches the nameless records, in order, to the paths of the parameters key
// that no named record carries, and fills their `failure`; forces their
// Valid to 0.
void LabelFailedParticipants(ParticipantView& view);
