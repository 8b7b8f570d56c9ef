#include "Platform/Linux/ThermalClass/SysfsStableName.h"

namespace {

constexpr std::size_t kMaxTypeLength = 40;

}  // namespace

std::string StableTypeText(std::string_view type) {
  std::string text;
  for (char c : type.substr(0, kMaxTypeLength)) {
    const bool plain = c > ' ' && c < 0x7F && c != ':';
    text.push_back(plain ? c : '_');
  }
  return text.empty() ? "unknown" : text;
}

std::string StableParticipantName(std::string_view kind, const std::string& type,
                                  uint32_t position) {
  return std::string(kind) + ":" + type + ":" + std::to_string(position);
}
