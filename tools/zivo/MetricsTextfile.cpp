#include "MetricsTextfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// A label value: backslash, double quote and line feed escaped.
std::string Label(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  for (const char c : value) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string Celsius(int32_t tenthsKelvin) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", (tenthsKelvin - 2732) / 10.0);
  return text;
}

void Family(std::string& out, const char* name, const char* type, const char* help) {
  out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

}  // namespace

CMetricsTextfile::CMetricsTextfile(std::string path, std::string version)
    : mPath(std::move(path)), mVersion(std::move(version)) {}

void CMetricsTextfile::CountDecision(const std::string& device, const std::string& direction,
                                     DecisionCause cause) {
  ++mDecisions[{device, direction, DecisionCauseLabel(cause)}];
}

void CMetricsTextfile::CountReadError(const std::string& sensor) {
  ++mReadErrors[sensor];
}

std::string CMetricsTextfile::Text(const RecordHeader& header, const RecordSample& sample) const {
  std::string out;
  Family(out, "zivo_sensor_temperature_celsius", "gauge",
         "The last reading of each managed sensor, degrees Celsius.");
  for (const RecordSensor& sensor : header.sensors) {
    const auto found = sample.sensors.find(sensor.name);
    if (found != sample.sensors.end() && found->second.temperature) {
      out += "zivo_sensor_temperature_celsius{sensor=\"" + Label(sensor.name) + "\",type=\"" +
             Label(sensor.type) + "\"} " + Celsius(*found->second.temperature) + "\n";
    }
  }
  Family(out, "zivo_sensor_threshold_celsius", "gauge",
         "Each managed sensor's throttle start, release and shutdown temperatures and its "
         "zone's critical trip, degrees Celsius.");
  for (const RecordSensor& sensor : header.sensors) {
    if (!sensor.thresholds) {
      continue;
    }
    const std::string name =
        "zivo_sensor_threshold_celsius{sensor=\"" + Label(sensor.name) + "\",threshold=\"";
    out += name + "throttle_start\"} " + Celsius(sensor.throttleStart) + "\n";
    out += name + "release\"} " + Celsius(sensor.release) + "\n";
    out += name + "shutdown\"} " + Celsius(sensor.shutdown) + "\n";
    if (sensor.critical) {
      out += name + "critical\"} " + Celsius(*sensor.critical) + "\n";
    }
  }
  Family(out, "zivo_device_state", "gauge", "Each device's throttle state.");
  for (const auto& [name, device] : sample.devices) {
    out +=
        "zivo_device_state{device=\"" + Label(name) + "\"} " + std::to_string(device.state) + "\n";
  }
  Family(out, "zivo_device_max_state", "gauge", "Each device's highest throttle state.");
  for (const auto& [name, device] : sample.devices) {
    if (device.max) {
      out += "zivo_device_max_state{device=\"" + Label(name) + "\"} " +
             std::to_string(*device.max) + "\n";
    }
  }
  Family(out, "zivo_fan_rpm", "gauge", "Each fan's speed where it has a tachometer.");
  for (const auto& [name, device] : sample.devices) {
    if (device.rpm) {
      out += "zivo_fan_rpm{device=\"" + Label(name) + "\"} " + std::to_string(*device.rpm) + "\n";
    }
  }
  Family(out, "zivo_decisions_total", "counter",
         "Decisions made since the run started, by device, direction and reason.");
  for (const auto& [key, count] : mDecisions) {
    const auto& [device, direction, reason] = key;
    out += "zivo_decisions_total{device=\"" + Label(device) + "\",direction=\"" + Label(direction) +
           "\",reason=\"" + Label(reason) + "\"} " + std::to_string(count) + "\n";
  }
  Family(out, "zivo_read_errors_total", "counter",
         "Failed readings of each managed sensor since the run started.");
  for (const auto& [sensor, count] : mReadErrors) {
    out +=
        "zivo_read_errors_total{sensor=\"" + Label(sensor) + "\"} " + std::to_string(count) + "\n";
  }
  Family(out, "zivo_dry_run", "gauge", "1 when the run only says what it would do.");
  out += std::string("zivo_dry_run ") + (header.dryRun ? "1" : "0") + "\n";
  Family(out, "zivo_build_info", "gauge", "The version of zivo, as a label; always 1.");
  out += "zivo_build_info{version=\"" + Label(mVersion) + "\"} 1\n";
  return out;
}

bool CMetricsTextfile::Write(const RecordHeader& header, const RecordSample& sample,
                             std::string& error) const {
  const std::string text = Text(header, sample);
  std::vector<char> name(mPath.begin(), mPath.end());
  for (const char c : std::string(".XXXXXX")) {
    name.push_back(c);
  }
  name.push_back('\0');
  const int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) {
    error = std::string(name.data()) + ": " + std::strerror(errno);
    return false;
  }
  // The collector usually runs as another user.
  bool written = fchmod(fd, 0644) == 0;
  for (std::size_t done = 0; written && done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    written = n > 0;
    done += n > 0 ? static_cast<std::size_t>(n) : 0;
  }
  const int saved = errno;
  if (close(fd) != 0 && written) {
    written = false;
  }
  if (!written || rename(name.data(), mPath.c_str()) != 0) {
    error = mPath + ": " + std::strerror(written ? errno : saved);
    unlink(name.data());
    return false;
  }
  return true;
}
