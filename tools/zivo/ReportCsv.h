// The samples of a run record as CSV for spreadsheets and gnuplot: one row
// per sample, "time" (as the record has it), "seconds" (since the record's
// start), then a "NAME C" column per managed sensor (empty where the reading
// failed), a "NAME state" column per device and a "NAME rpm" column per fan
// with a tachometer (empty where unknown). Fields are quoted as RFC 4180 does
// when they need it (names hold commas or quotes).
#pragma once

#include <string>

#include "RunRecord.h"

std::string ReportCsv(const RunRecord& record);
