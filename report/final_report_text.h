// The texts of the file copy of the final report ("solucao.dat"), shared by
// its writer (final_report) and its reader (read_report). The accents are
// Windows-1252 bytes; each format holds at most one number.
#pragma once

namespace report_file {

inline constexpr const char* kPath = "solucao.dat";

// A line of `left` asterisks, the title, `right` asterisks, then `end` (the
// line break and the blank lines after it). An all-asterisk line has no title.
struct Banner {
  int left;
  const char* title;
  int right;
  const char* end;
};

inline constexpr Banner kTitle{35, " RELATORIO FINAL ", 56, "\n"};
inline constexpr const char* kObjective = "Valor da fun\xE7\xE3o objetivo = %f\n";
inline constexpr const char* kMinTrucks = "N\xFAmero m\xEDnimo de caminh\xF5" "es necess\xE1rios = %d\n";
inline constexpr const char* kTrucksUsed = "N\xFAmero de caminh\xF5" "es utilizados         = %d\n\n";
inline constexpr const char* kDistance = "Dist\xE2ncia total percorrida = %f Kilometros\n";
inline constexpr Banner kSummaryEnd{117, "", 0, "\n\n\n\n"};
inline constexpr Banner kListing{34, " ROTEIRO DE CADA CAMINH\xC3O ", 67, "\n\n\n\n"};

// One trip: its header, one visit per customer and the depot on one line,
// then its load and a closing banner. The console copy uses the same texts.
inline constexpr const char* kTripHeader = "Caminhao[%d] - Deposito --> ";
inline constexpr const char* kVisit = "%d --> ";
inline constexpr const char* kTripEnd = "Deposito\n";
inline constexpr const char* kLoad = "Carga[%d] = %d\n";
inline constexpr Banner kTripClose{96, "", 0, "\n\n\n"};

}  // namespace report_file
