// Aligned text tables and temperature texts for zivo's terminal output.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class CTextTable {
 public:
  enum class Align { Left, Right };

  void AddColumn(std::string header, Align align = Align::Left);
  // A row with fewer cells than columns is filled up with empty cells. The
  // cells are shown as TerminalText shows them.
  void AddRow(std::vector<std::string> cells);
  bool Empty() const { return mRows.empty(); }
  // Header, a rule, then the rows; every line starts with `indent`. Widths
  // count characters, not bytes, so "°C" lines up.
  void Print(FILE* out, const std::string& indent = "  ") const;

 private:
  struct TableColumn {
    std::string header;
    Align align;
  };
  std::vector<TableColumn> mColumns;
  std::vector<std::vector<std::string>> mRows;
};

// `text` as a terminal may show it: a control character (C0, DEL, C1) as
// \n, \t or \xNN, a byte that is not part of valid UTF-8 as \xNN;
// everything else (backslashes of Windows-style names included) as it is.
std::string TerminalText(const std::string& text);
// Characters (code points) of a UTF-8 text.
std::size_t DisplayWidth(const std::string& text);
// Tenths of kelvin as degrees Celsius with one decimal: "36.0 °C".
std::string Celsius(int32_t tenthsKelvin);
// The same in plain ASCII, for run's decisions and the checks: "41.5 C".
std::string CelsiusText(int tenthsKelvin);
// Both: "36.0 °C (3092)".
std::string Temperature(int32_t tenthsKelvin);
// Wide names as UTF-8, joined with ", "; "-" for none.
std::string JoinNames(const std::vector<std::wstring>& names);
