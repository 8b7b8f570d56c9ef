#include "ReportHtml.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <map>

#include "ColumnThinning.h"
#include "ReportAxes.h"
#include "ReportSummary.h"

namespace {

constexpr double kLeft = 72;  // room for the °C labels
constexpr double kRight = 24;
constexpr double kTop = 10;
constexpr double kTemperatureHeight = 220;
constexpr double kTimeLabels = 26;  // under the temperature panel
constexpr double kStripTitle = 16;
constexpr double kStripHeight = 44;
constexpr double kStripGap = 10;

constexpr const char* kStyle = R"(
body{font:14px/1.4 system-ui,sans-serif;margin:24px;color:#222;background:#fff}
h1{font-size:20px;margin:0 0 8px}h2{font-size:16px;margin:28px 0 4px}
.facts{color:#555;margin:0 0 12px}
svg.chart{display:block;font:11px system-ui,sans-serif}
.grid{stroke:#e4e4e4;stroke-width:1}
.frame{fill:none;stroke:#999;stroke-width:1}
.tick{fill:#444}
.temperature{fill:none;stroke:#1f5fbf;stroke-width:1.5}
.state{fill:none;stroke:#7a3fb0;stroke-width:1.5}
.rpm{fill:none;stroke:#2e8b57;stroke-width:1.2}
.threshold{stroke-width:1.2;stroke-dasharray:6 4}
.throttle-start{stroke:#e08a00}.release{stroke:#3a9a3a}.shutdown{stroke:#d02020}
.critical{stroke:#700000;stroke-dasharray:2 3}
.threshold-label{font-size:10px;paint-order:stroke;stroke:#fff;stroke-width:3px}
.gap{fill:#f4c7c7;opacity:.6}
.decision circle{stroke:#fff;stroke-width:1}
.decision.throttle circle,.decision.failsafe circle{fill:#e08a00}
.decision.release circle{fill:#3a9a3a}
.decision.hibernate circle,.decision.shutdown circle,.decision.cancel circle{fill:#d02020}
.strip-title{fill:#333;font-weight:600}
table.summary{border-collapse:collapse;margin:8px 0 16px}
table.summary th,table.summary td{border:1px solid #ccc;padding:3px 8px;text-align:left}
table.summary td.n{text-align:right}
)";

std::string Escape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Num(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

std::string Whole(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f", value);
  return text;
}

double Celsius(int32_t tenthsKelvin) {
  return (tenthsKelvin - 2732) / 10.0;
}

std::string CelsiusText(int32_t tenthsKelvin) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f °C", Celsius(tenthsKelvin));
  return text;
}

// One series' path: "M" after each gap, "L" (or "H"/"V" for a step line)
// between points.
std::string PathOf(const std::vector<ChartPoint>& points, bool steps, const auto& x,
                   const auto& y) {
  std::string d;
  bool pen = false;
  for (const ChartPoint& p : points) {
    if (!p.value) {
      pen = false;
      continue;
    }
    if (!pen) {
      d += "M" + Num(x(p.t)) + " " + Num(y(*p.value));
      pen = true;
    } else if (steps) {
      d += "H" + Num(x(p.t)) + "V" + Num(y(*p.value));
    } else {
      d += "L" + Num(x(p.t)) + " " + Num(y(*p.value));
    }
  }
  return d;
}

class CReportPage {
 public:
  explicit CReportPage(const RunRecord& record) : mRecord(record) {
    for (const RecordSample& s : record.samples) {
      mT0 = std::min(mT0, s.seconds);
      mT1 = std::max(mT1, s.seconds);
    }
    for (const RecordEvent& e : record.events) {
      mT0 = std::min(mT0, e.seconds);
      mT1 = std::max(mT1, e.seconds);
    }
    if (!(mT1 > mT0)) {
      mT0 = 0;
      mT1 = std::max(1.0, record.header.intervalSeconds);
    }
  }

  std::string Html(const std::string& title) {
    const RecordHeader& h = mRecord.header;
    mOut += "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>" +
            Escape(title) + "</title>\n<style>" + kStyle + "</style></head><body>\n";
    mOut += "<h1>" + Escape(title) + "</h1>\n<p class=\"facts\">" + Escape(h.platform) +
            "; policy " + Escape(h.policy) + "; every " + Num(h.intervalSeconds) + " s; " +
            std::to_string(mRecord.samples.size()) + " samples over " + DurationText(mT1 - mT0) +
            (h.dryRun ? "; a dry run: the states are those it would "
                        "have set"
                      : "") +
            (mRecord.cutLines != 0 ? "; its last line was cut short and is left out" : "") +
            "</p>\n";
    for (const RecordSensor& sensor : h.sensors) {
      Chart(sensor);
    }
    Summary();
    mOut += "</body></html>\n";
    return std::move(mOut);
  }

 private:
  double X(double t) const { return kLeft + (t - mT0) / (mT1 - mT0) * kReportPlotWidth; }

  std::vector<ChartPoint> Temperatures(const std::string& name) const {
    std::vector<ChartPoint> points;
    points.reserve(mRecord.samples.size());
    for (const RecordSample& s : mRecord.samples) {
      const auto found = s.sensors.find(name);
      std::optional<double> value;
      if (found != s.sensors.end() && found->second.temperature) {
        value = Celsius(*found->second.temperature);
      }
      points.push_back({s.seconds, value});
    }
    return points;
  }

  void Chart(const RecordSensor& sensor) {
    const std::vector<ChartPoint> raw = Temperatures(sensor.name);
    // A sensor without thresholds spans its readings (or 20-80 C when it
    // has none).
    double low = sensor.thresholds ? Celsius(sensor.release) : 1e9;
    double high = sensor.thresholds ? Celsius(sensor.shutdown) : -1e9;
    if (sensor.thresholds) {
      low = std::min(low, Celsius(sensor.throttleStart));
    }
    if (sensor.critical) {
      high = std::max(high, Celsius(*sensor.critical));
    }
    for (const ChartPoint& p : raw) {
      if (p.value) {
        low = std::min(low, *p.value);
        high = std::max(high, *p.value);
      }
    }
    if (low > high) {
      low = 20;
      high = 80;
    }
    low = std::floor(low - 1);
    high = std::ceil(high + 1);
    const auto y = [&](double c) { return kTop + (high - c) / (high - low) * kTemperatureHeight; };
    const auto x = [&](double t) { return X(t); };

    std::vector<std::pair<const std::string*, std::vector<ChartPoint>>> strips;
    for (const std::string& device : sensor.devices) {
      DeviceStrips(device, strips);
    }
    const double bottom = kTop + kTemperatureHeight;
    const double height =
        bottom + kTimeLabels + strips.size() * (kStripTitle + kStripHeight + kStripGap);
    mOut += "<h2>" + Escape(sensor.name) +
            (sensor.type.empty() ? "" : " (" + Escape(sensor.type) + ")") +
            "</h2>\n<svg class=\"chart\" data-sensor=\"" + Escape(sensor.name) +
            "\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
            Num(kLeft + kReportPlotWidth + kRight) + "\" height=\"" + Num(height) +
            "\" viewBox=\"0 0 " + Num(kLeft + kReportPlotWidth + kRight) + " " + Num(height) +
            "\" role=\"img\" aria-label=\"" + Escape(sensor.name) + " temperature over time\">\n";
    for (const AxisTick& tick : TimeTicks(mRecord.origin, mT0, mT1)) {
      mOut += "<line class=\"grid\" x1=\"" + Num(x(tick.at)) + "\" y1=\"" + Num(kTop) + "\" x2=\"" +
              Num(x(tick.at)) + "\" y2=\"" + Num(height - kStripGap) +
              "\"/><text class=\"tick\" text-anchor=\"middle\" x=\"" + Num(x(tick.at)) + "\" y=\"" +
              Num(bottom + 16) + "\">" + Escape(tick.label) + "</text>\n";
    }
    for (const AxisTick& tick : CelsiusTicks(low, high)) {
      mOut += "<line class=\"grid\" x1=\"" + Num(kLeft) + "\" y1=\"" + Num(y(tick.at)) +
              "\" x2=\"" + Num(kLeft + kReportPlotWidth) + "\" y2=\"" + Num(y(tick.at)) +
              "\"/><text class=\"tick\" text-anchor=\"end\" x=\"" + Num(kLeft - 6) + "\" y=\"" +
              Num(y(tick.at) + 4) + "\">" + Escape(tick.label) + "</text>\n";
    }
    Gaps(sensor.name, bottom);
    std::string labels;  // over the line, so that it never hides them
    const auto threshold = [&](const char* kind, const char* words, int32_t at) {
      mOut += "<line class=\"threshold " + std::string(kind) + "\" x1=\"" + Num(kLeft) +
              "\" y1=\"" + Num(y(Celsius(at))) + "\" x2=\"" + Num(kLeft + kReportPlotWidth) +
              "\" y2=\"" + Num(y(Celsius(at))) + "\"><title>" + words + " " + CelsiusText(at) +
              "</title></line>\n";
      labels += "<text class=\"threshold-label\" text-anchor=\"end\" x=\"" +
                Num(kLeft + kReportPlotWidth - 4) + "\" y=\"" +
                Num(y(Celsius(at)) + (std::string(kind) == "release" ? 11 : -3)) + "\">" + words +
                " " + CelsiusText(at) + "</text>\n";
    };
    if (sensor.thresholds) {
      threshold("throttle-start", "throttle start", sensor.throttleStart);
      threshold("release", "release", sensor.release);
      threshold("shutdown", "shutdown", sensor.shutdown);
    }
    if (sensor.critical) {
      threshold("critical", "critical trip", *sensor.critical);
    }
    mOut += "<path class=\"temperature\" d=\"" +
            PathOf(ThinPerColumn(raw, mT0, mT1, kReportPlotWidth), false, x, y) + "\"/>\n";
    mOut += labels;
    Markers(sensor.name, y, low, high);
    mOut += "<rect class=\"frame\" x=\"" + Num(kLeft) + "\" y=\"" + Num(kTop) + "\" width=\"" +
            Num(kReportPlotWidth) + "\" height=\"" + Num(kTemperatureHeight) + "\"/>\n";
    double top = bottom + kTimeLabels;
    for (const auto& [label, points] : strips) {
      Strip(*label, points, top);
      top += kStripTitle + kStripHeight + kStripGap;
    }
    mOut += "</svg>\n";
  }

  // A device's state as a step line and, when it has a tachometer, its RPM.
  void DeviceStrips(const std::string& device,
                    std::vector<std::pair<const std::string*, std::vector<ChartPoint>>>& strips) {
    std::vector<ChartPoint> states, rpms;
    bool anyRpm = false;
    for (const RecordSample& s : mRecord.samples) {
      const auto found = s.devices.find(device);
      if (found == s.devices.end()) {
        states.push_back({s.seconds, std::nullopt});
        rpms.push_back({s.seconds, std::nullopt});
        continue;
      }
      states.push_back({s.seconds, static_cast<double>(found->second.state)});
      mStripMax[device] =
          std::max<double>({mStripMax[device], static_cast<double>(found->second.state),
                            static_cast<double>(found->second.max.value_or(0))});
      std::optional<double> rpm;
      if (found->second.rpm) {
        rpm = *found->second.rpm;
        anyRpm = true;
        mRpmMax[device] = std::max(mRpmMax[device], *rpm);
      }
      rpms.push_back({s.seconds, rpm});
    }
    mLabels.push_back(device + ": state");
    strips.emplace_back(&mLabels.back(), std::move(states));
    if (anyRpm) {
      mLabels.push_back(device + ": RPM");
      strips.emplace_back(&mLabels.back(), std::move(rpms));
    }
  }

  void Strip(const std::string& label, const std::vector<ChartPoint>& points, double top) {
    const bool rpm = label.size() > 5 && label.compare(label.size() - 5, 5, ": RPM") == 0;
    const std::string device = label.substr(0, label.rfind(": "));
    const double most = std::max(1.0, rpm ? mRpmMax[device] : mStripMax[device]);
    const double base = top + kStripTitle + kStripHeight;
    const auto y = [&](double v) { return base - v / most * kStripHeight; };
    const auto x = [&](double t) { return X(t); };
    mOut += "<text class=\"strip-title\" x=\"" + Num(kLeft) + "\" y=\"" + Num(top + 11) + "\">" +
            Escape(label) + "</text>\n<text class=\"tick\" text-anchor=\"end\" x=\"" +
            Num(kLeft - 6) + "\" y=\"" + Num(y(most) + 4) + "\">" + Whole(most) +
            "</text><text class=\"tick\" text-anchor=\"end\" x=\"" + Num(kLeft - 6) + "\" y=\"" +
            Num(base + 4) + "\">0</text>\n";
    mOut += std::string("<path class=\"") + (rpm ? "rpm" : "state") + "\" d=\"" +
            PathOf(ThinPerColumn(points, mT0, mT1, kReportPlotWidth), !rpm, x, y) + "\"/>\n";
    mOut += "<rect class=\"frame\" x=\"" + Num(kLeft) + "\" y=\"" + Num(top + kStripTitle) +
            "\" width=\"" + Num(kReportPlotWidth) + "\" height=\"" + Num(kStripHeight) + "\"/>\n";
  }

  // The stretches in which the sensor could not be read, shaded.
  void Gaps(const std::string& name, double bottom) {
    std::optional<double> start;
    std::string why;
    const auto close = [&](double end) {
      mOut += "<rect class=\"gap\" x=\"" + Num(X(*start)) + "\" y=\"" + Num(kTop) + "\" width=\"" +
              Num(std::max(1.0, X(end) - X(*start))) + "\" height=\"" + Num(bottom - kTop) +
              "\"><title>no reading: " + Escape(why) + "</title></rect>\n";
      start.reset();
    };
    for (const RecordSample& s : mRecord.samples) {
      const auto found = s.sensors.find(name);
      const bool failed = found == s.sensors.end() || !found->second.temperature;
      if (failed && !start) {
        start = s.seconds;
        why = found == s.sensors.end() ? "not in the sample" : found->second.failure;
      } else if (!failed && start) {
        close(s.seconds);
      }
    }
    if (start) {
      close(mT1);
    }
  }

  // One marker per decision; the decisions of one action that fall in one
  // pixel column share a marker (data-decisions counts them) whose tooltip
  // lists the first few, so a week of flapping stays a page a browser opens.
  void Markers(const std::string& name, const auto& y, double low, double high) {
    struct Group {
      const RecordEvent* first = nullptr;
      double celsius = 0;
      std::size_t count = 0;
      std::string lines;
    };
    std::vector<Group> groups;
    std::map<std::pair<long, std::string>, std::size_t> at;
    constexpr std::size_t kListed = 3;
    for (const RecordEvent& e : mRecord.events) {
      if (!IsDecision(e.action) || e.sensor != name) {
        continue;
      }
      const long column = static_cast<long>(X(e.seconds));
      const auto [it, fresh] = at.try_emplace({column, e.action}, groups.size());
      if (fresh) {
        groups.push_back({&e, high, 0, ""});
      }
      Group& group = groups[it->second];
      // A decision made without a reading (failsafe, a stopped fan's kick)
      // carries 0 K: its marker goes to the top.
      const double c = e.temperature && *e.temperature > 0
                           ? std::clamp(Celsius(*e.temperature), low, high)
                           : high;
      group.celsius = group.count == 0 ? c : std::max(group.celsius, c);
      if (group.count++ < kListed) {
        std::string what = e.action;
        if (!e.device.empty()) {
          what += " " + e.device + " " + std::to_string(e.from) + " -> " + std::to_string(e.to);
        }
        group.lines += (group.lines.empty() ? "" : "\n") + e.time + " " +
                       (e.dryRun ? "would " : "") + what + ": " + e.reason;
      }
    }
    for (const Group& g : groups) {
      std::string title = Escape(g.lines);
      if (g.count > kListed) {
        title += "\n... " + std::to_string(g.count - kListed) + " more " + Escape(g.first->action) +
                 " decisions in this stretch";
      }
      mOut += "<g class=\"decision " + Escape(g.first->action) + "\" data-decisions=\"" +
              std::to_string(g.count) + "\"><circle cx=\"" + Num(X(g.first->seconds)) + "\" cy=\"" +
              Num(y(g.celsius)) + "\" r=\"4\"/><title>" + title + "</title></g>\n";
    }
  }

  void Summary() {
    const RecordSummary summary = SummariseRun(mRecord);
    mOut +=
        "<h2>Summary</h2>\n<table class=\"summary sensors\"><tr><th>sensor</th><th>highest"
        "</th><th>at or above throttle start</th><th>readings</th><th>failed readings</th>"
        "</tr>\n";
    for (const RecordSensor& sensor : mRecord.header.sensors) {
      const SensorSummary& s = summary.sensors.at(sensor.name);
      mOut += "<tr><td>" + Escape(sensor.name) + "</td><td class=\"n\">" +
              (s.highest ? CelsiusText(*s.highest) : "-") + "</td><td class=\"n\">" +
              (sensor.thresholds ? DurationText(s.secondsAboveStart) : "-") +
              "</td><td class=\"n\">" + std::to_string(s.readings) + "</td><td class=\"n\">" +
              std::to_string(s.failedReadings) + "</td></tr>\n";
    }
    mOut +=
        "</table>\n<table class=\"summary devices\"><tr><th>device</th><th>raised</th>"
        "<th>lowered</th><th>time at each state</th></tr>\n";
    for (const auto& [name, d] : summary.devices) {
      std::string states;
      for (const auto& [state, seconds] : d.secondsAtState) {
        states +=
            (states.empty() ? "" : ", ") + std::to_string(state) + ": " + DurationText(seconds);
      }
      mOut += "<tr><td>" + Escape(name) + "</td><td class=\"n\">" + std::to_string(d.raised) +
              "</td><td class=\"n\">" + std::to_string(d.lowered) + "</td><td>" +
              (states.empty() ? "-" : states) + "</td></tr>\n";
    }
    mOut +=
        "</table>\n<table class=\"summary power\"><tr><th>time</th><th>power action</th>"
        "<th>sensor</th><th>carried out</th><th>reason</th></tr>\n";
    for (const RecordEvent* e : summary.powerActions) {
      mOut += "<tr><td>" + Escape(e->time) + "</td><td>" + Escape(e->action) + "</td><td>" +
              Escape(e->sensor.empty() ? "-" : e->sensor) + "</td><td>" +
              (e->applied && !e->dryRun ? "yes"
               : e->dryRun              ? "no: dry run"
                                        : "no") +
              "</td><td>" + Escape(e->reason) + "</td></tr>\n";
    }
    if (summary.powerActions.empty()) {
      mOut += "<tr><td colspan=\"5\">none</td></tr>\n";
    }
    mOut += "</table>\n";
  }

  const RunRecord& mRecord;
  double mT0 = 1e300;
  double mT1 = -1e300;
  std::string mOut;
  std::map<std::string, double> mStripMax;
  std::map<std::string, double> mRpmMax;
  std::deque<std::string> mLabels;  // strips point at them
};

}  // namespace

std::string ReportHtml(const RunRecord& record, const std::string& title) {
  return CReportPage(record).Html(title);
}
