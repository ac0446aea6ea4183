#include "report/final_report.h"

#include <cassert>
#include <cstdarg>
#include <cstdio>
#include <memory>

#include "model/route.h"
#include "report/final_report_text.h"
#include "report/progress_log.h"

namespace {

constexpr const char* kReportFile = report_file::kPath;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The file copy of the report: printed unless the file could not be opened
// (null), so that the console copy is complete all the same.
[[gnu::format(printf, 2, 3)]] void file_print(std::FILE* out, const char* format, ...) {
  if (out == nullptr) return;
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(out, format, arguments);
  va_end(arguments);
}

// `left` asterisks, the title, `right` asterisks, then the line end(s).
// An all-asterisk line is a banner with an empty title and no right part.
void banner(std::FILE* out, int left, const char* title, int right, const char* end) {
  if (out == nullptr) return;
  for (int i = 0; i < left; ++i) std::fputc('*', out);
  std::fputs(title, out);
  for (int i = 0; i < right; ++i) std::fputc('*', out);
  std::fputs(end, out);
}

void banner(std::FILE* out, const report_file::Banner& text) {
  banner(out, text.left, text.title, text.right, text.end);
}

}  // namespace

// Each row goes to the console first and then to the file. The console copy is
// plain ASCII; the file copy carries its accents as Windows-1252 bytes.
ReportFile final_report(float fomin, std::span<const int> demand, int customer_count, int vehicle_capacity,
                  std::span<const int> best, const DistanceMatrix& matrix, int route_length) {
  assert(route_length >= 1 && static_cast<std::size_t>(route_length) <= best.size());
  int trips_remaining = trucks_used(route_length, best);
  int trip_load = 0;
  int truck = 1;

  // A report file that cannot be opened or written fails the run, but only
  // after the console has shown the whole report: the routes are never lost.
  File file(log_reset(kReportFile) ? std::fopen(kReportFile, "a+") : nullptr);
  std::FILE* const out = file.get();

  const double objective = static_cast<double>(fomin);
  const int fewest = min_trucks(demand, customer_count + 1, vehicle_capacity);
  const double distance = static_cast<double>(route_distance(route_length, matrix, best));

  banner(stdout, 80, "", 0, "\n");
  banner(stdout, 24, " RELATORIO FINAL ", 39, "\n");
  banner(out, report_file::kTitle);
  std::printf("Valor da funcao objetivo = %f\n", objective);
  file_print(out, report_file::kObjective, objective);
  std::printf("Numero minimo de caminhoes necessarios = %d\n", fewest);
  file_print(out, report_file::kMinTrucks, fewest);
  std::printf("Numero de caminhoes utilizados         = %d\n", trips_remaining);
  file_print(out, report_file::kTrucksUsed, trips_remaining);
  std::printf("Distancia total percorrida = %f\n", distance);
  file_print(out, report_file::kDistance, distance);
  banner(stdout, 80, "", 0, "\n");
  banner(out, report_file::kSummaryEnd);

  // The prompt must be on screen before the read waits; end of input returns at once.
  std::printf("Tecle enter para continuar");
  std::fflush(stdout);
  (void)std::getchar();

  banner(stdout, 25, " ROTEIRO ", 46, "\n");
  banner(out, report_file::kListing);
  std::printf("Caminhao[1] - Deposito --> ");
  file_print(out, report_file::kTripHeader, 1);

  for (int i = 1; i < route_length; ++i) {
    const int node = best[static_cast<std::size_t>(i)];
    if (node != 0) {
      trip_load += demand[static_cast<std::size_t>(node)];
      std::printf("%d --> ", node);
      file_print(out, report_file::kVisit, node);
    } else if (best[static_cast<std::size_t>(i - 1)] != 0) {
      // This depot visit closes a non-empty trip; empty trips take no number.
      --trips_remaining;
      ++truck;
      std::printf("Deposito\n");
      file_print(out, "%s", report_file::kTripEnd);
      std::printf("Carga[%d] = %d\n", truck - 1, trip_load);
      file_print(out, report_file::kLoad, truck - 1, trip_load);
      trip_load = 0;
      banner(stdout, 80, "", 0, "\n\n");
      banner(out, report_file::kTripClose);
      if (trips_remaining > 0) {
        std::printf("Caminhao[%d] - Deposito --> ", truck);
        file_print(out, report_file::kTripHeader, truck);
      }
    }
  }

  if (out == nullptr) return ReportFile::not_opened;
  const bool failed = std::ferror(out) != 0;
  if (std::fclose(file.release()) != 0 || failed) return ReportFile::not_written;
  return ReportFile::written;
}
