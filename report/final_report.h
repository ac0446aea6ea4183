// The final report of the best Route: on the console (plain ASCII) and in
// "solucao.dat" (its own wording, Windows-1252 accents), with a pause for
// Enter between the summary and the listing of the trips.
//
// A report file that cannot be opened does not stop the console copy: the
// whole report is printed, then "O arquivo solucao.dat nao pode ser aberto"
// ends the run with status 1. A file opened but not written in full (a full
// device) ends it with "O arquivo solucao.dat nao pode ser escrito", status 1.
#pragma once

#include <span>

#include "model/instance.h"

void final_report(float fomin, std::span<const int> demand, int customer_count, int vehicle_capacity,
                  std::span<const int> best, const DistanceMatrix& matrix, int route_length);
