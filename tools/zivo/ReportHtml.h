// The HTML page of zivo report: one self-contained document (inline CSS and
// SVG, no script, nothing fetched) that draws a run record. Per managed
// sensor (in the header's order) a chart of its temperature over time with
// its throttle start, release and shutdown temperatures and its zone's
// critical trip as horizontal lines, a marker for each of its decisions whose
// tooltip gives the reason, and the stretches without a reading shaded;
// under it a step line of each of its devices' state, and of a fan's RPM.
// Then the summary tables. The same record gives the same page, byte for
// byte: nothing in it depends on when or where it is made.
//
// The DOM a browser sees: each chart is an `svg.chart` with `data-sensor`;
// threshold lines are `line.threshold` with a second class
// (`throttle-start`, `release`, `shutdown`, `critical`); decision markers are
// `g.decision` holding a `title`; the summary is `table.summary`.
#pragma once

#include <string>

#include "RunRecord.h"

// Points of a line are thinned to this many pixel columns.
inline constexpr int kReportPlotWidth = 900;

std::string ReportHtml(const RunRecord& record, const std::string& title);
