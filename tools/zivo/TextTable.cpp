#include "TextTable.h"

#include <algorithm>
#include <cstdlib>

#include "Platform/Text.h"

void CTextTable::AddColumn(std::string header, Align align) {
  mColumns.push_back({std::move(header), align});
}

void CTextTable::AddRow(std::vector<std::string> cells) {
  cells.resize(std::max(cells.size(), mColumns.size()));
  mRows.push_back(std::move(cells));
}

void CTextTable::Print(FILE* out, const std::string& indent) const {
  std::vector<std::size_t> widths;
  for (const _tagSColumn& column : mColumns) {
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
