// The final report of the best Route: on the console (plain ASCII) and in
// "solucao.dat" (its own wording, Windows-1252 accents), with a pause for
// Enter between the summary and the listing of the trips.
//
// A report file that cannot be opened does not stop the console copy: the
// whole report is printed all the same, and the result says what became of
// the file.
#pragma once

#include <span>

#include "model/instance.h"

enum class ReportFile { written, not_opened, not_written };

[[nodiscard]] ReportFile final_report(float fomin, std::span<const int> demand, int customer_count, int vehicle_capacity,
                  std::span<const int> best, const DistanceMatrix& matrix, int route_length);
