#include "TextTable.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "zivorivizo/Text.h"

void CTextTable::AddColumn(std::string header, Align align) {
  mColumns.push_back({std::move(header), align});
}

void CTextTable::AddRow(std::vector<std::string> cells) {
  cells.resize(std::max(cells.size(), mColumns.size()));
  for (std::string& cell : cells) {
    cell = TerminalText(cell);
  }
  mRows.push_back(std::move(cells));
}

void CTextTable::Print(FILE* out, const std::string& indent) const {
  std::vector<std::size_t> widths;
  for (const TableColumn& column : mColumns) {
    widths.push_back(DisplayWidth(column.header));
  }
  for (const auto& row : mRows) {
    for (std::size_t c = 0; c < mColumns.size(); ++c) {
      widths[c] = std::max(widths[c], DisplayWidth(row[c]));
    }
  }
  auto printLine = [&](const std::vector<std::string>& cells) {
    std::string line = indent;
    for (std::size_t c = 0; c < mColumns.size(); ++c) {
      const std::string pad(widths[c] - DisplayWidth(cells[c]), ' ');
      const bool last = c + 1 == mColumns.size();
      if (mColumns[c].align == Align::Right) {
        line += pad + cells[c];
      } else {
        line += cells[c] + (last ? "" : pad);
      }
      if (!last) {
        line += "  ";
      }
    }
    while (!line.empty() && line.back() == ' ') {
      line.pop_back();
    }
    std::fprintf(out, "%s\n", line.c_str());
  };
  std::vector<std::string> headers;
  std::vector<std::string> rules;
  for (std::size_t c = 0; c < mColumns.size(); ++c) {
    headers.push_back(mColumns[c].header);
    rules.push_back(std::string(widths[c], '-'));
  }
  printLine(headers);
  printLine(rules);
  for (const auto& row : mRows) {
    printLine(row);
  }
}

namespace {

// The length of the valid UTF-8 sequence at `at`, 0 when there is none.
std::size_t Utf8Length(const std::string& text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong form
    high = lead == 0xED ? 0x9F : 0xBF;  // no surrogate
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    low = lead == 0xF0 ? 0x90 : 0x80;
    high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) {
    return 0;
  }
  for (std::size_t i = 2; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) {
      return 0;
    }
  }
  return length;
}

std::string HexByte(unsigned char c) {
  static const char kDigits[] = "0123456789abcdef";
  return std::string("\\x") + kDigits[c >> 4] + kDigits[c & 0xF];
}

}  // namespace

std::string TerminalText(const std::string& text) {
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\n') {
      shown += "\\n";
      ++i;
    } else if (c == '\t') {
      shown += "\\t";
      ++i;
    } else if (c < 0x20 || c == 0x7F) {
      shown += HexByte(c);
      ++i;
    } else if (c < 0x80) {
      shown += static_cast<char>(c);
      ++i;
    } else if (const std::size_t length = Utf8Length(text, i); length == 0) {
      shown += HexByte(c);
      ++i;
    } else if (c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
      shown += HexByte(c) + HexByte(static_cast<unsigned char>(text[i + 1]));  // C1 control
      i += 2;
    } else {
      shown.append(text, i, length);
      i += length;
    }
  }
  return shown;
}

std::size_t DisplayWidth(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

std::string Celsius(int32_t tenthsKelvin) {
  const int64_t tenths = static_cast<int64_t>(tenthsKelvin) - 2732;
  const int64_t magnitude = tenths < 0 ? -tenths : tenths;
  return (tenths < 0 ? "-" : "") + std::to_string(magnitude / 10) + "." +
         std::to_string(magnitude % 10) + " °C";
}

std::string CelsiusText(int tenthsKelvin) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f C", (tenthsKelvin - 2732) / 10.0);
  return text;
}

std::string Temperature(int32_t tenthsKelvin) {
  return Celsius(tenthsKelvin) + " (" + std::to_string(tenthsKelvin) + ")";
}

std::string JoinNames(const std::vector<std::wstring>& names) {
  if (names.empty()) {
    return "-";
  }
  std::string text;
  for (const std::wstring& name : names) {
    text += (text.empty() ? "" : ", ") + ToUtf8(name);
  }
  return text;
}
