// The participant manager's record of what its discovery left out, kept
// beside the manager so that the exported class names no friend to reach
// it (hosts read it through LeftOutByLastEnumerate, zivorivizo/Diagnostics.h).
#pragma once

#include "zivorivizo/Diagnostics.h"

// The record of `manager`, made all zero on first use.
DiscoveryLeftOut& LeftOutRecordOf(const COSParticipantManager& manager);
// Drops the record of a manager that is being destroyed.
void ForgetLeftOut(const COSParticipantManager& manager);
