// What a search reports as it runs, and how it ends. A search prints and
// opens nothing itself: it tells the output its caller gives it of each
// event, and the output prints, logs or keeps what it wants. The program's
// output prints its console texts and writes fo_SA.out and fo_BT.out; the
// base class is silent.
//
// Events come at a search's start and end, at every new best, and once per
// tabu iteration; the annealing's moves are never reported (a run makes tens
// of millions a second). Times are seconds since the run's start,
// read by the search from the run clock (model/clock.h) where its rules say.
// Counts of moves and iterations are 64-bit: a long run passes 2^31.
#pragma once

#include "model/moves.h"

// How a search ended.
enum class SearchEnd {
  finished,           // its limit was reached (or keep_searching said to stop)
  stopped,            // an event's output failed and asked it to stop at once
  out_of_memory,      // its working storage (caches, tabu counts, scan storage) could not be had
  out_of_tabu_memory  // a node of the tabu list could not be had
};

// The annealing's moves between two keep_searching polls within a level.
inline constexpr int kMovesBetweenPolls = 4096;
// The same for an annealing that makes ruin-and-recreate steps, each far
// longer than a small move.
inline constexpr int kStepsBetweenPolls = 64;

// Where a search stands, for keep_searching.
struct SearchProgress {
  float fo;
  float fomin;
  long long count;  // annealing moves or tabu iterations made so far
};

class SearchOutput {
 public:
  virtual ~SearchOutput() = default;

  // An event that returns false stops the search at once: it returns
  // SearchEnd::stopped without another event (a log that cannot be written).

  // The annealing starts from objective fo, with `moves` made before it.
  virtual bool annealing_started(float /*fo*/, long long /*moves*/) { return true; }
  // A new best, found `seconds` into the run after `moves` moves.
  virtual bool annealing_new_best(double /*seconds*/, float /*fomin*/, long long /*moves*/) { return true; }
  // The annealing has ended, `seconds` into the run.
  virtual void annealing_finished(double /*seconds*/) {}

  // The tabu search starts `seconds` into the run from objective fo.
  virtual bool tabu_started(double /*seconds*/, float /*fo*/) { return true; }
  // Iteration `iter` makes `move`, changing the objective by delta (the
  // program's search: the swap of positions move.first < move.second).
  virtual void tabu_move_chosen(long long /*iter*/, float /*delta*/, const MoveValue& /*move*/) {}
  // That move made a new best, `seconds` into the run.
  virtual bool tabu_new_best(double /*seconds*/, float /*fomin*/, long long /*iter*/) { return true; }
  // The iteration is over: fo is the current objective, `stall` the
  // iterations since the last new best or restart (at most max_stall).
  virtual void tabu_iteration_done(float /*fo*/, int /*stall*/) {}
  // The tabu search has ended, `seconds` into the run.
  virtual void tabu_finished(double /*seconds*/) {}

  // The hybrid turns from its annealing to its tabu search.
  virtual void hybrid_switch() {}

  // Asked at every temperature level of the annealing and after every tabu
  // iteration, and within them where they can take long: every
  // kMovesBetweenPolls moves of a level (kStepsBetweenPolls with ruin and
  // recreate), and between blocks of rows of a
  // tabu scan of a long Route (search/tabu_scan.h). False ends the search
  // there, as its limit would (a caller's deadline, a stop request); a scan
  // told to stop is not finished, and its iteration not made. The run's
  // clock is not read for it, so an output that always says true (the
  // program's) sees its searches run as if it were never asked.
  virtual bool keep_searching(const SearchProgress& /*progress*/) { return true; }
};
