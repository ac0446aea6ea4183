// The program's own output of a search: each event printed on the console
// in the program's words, and the progress logged to "fo_SA.out" (the
// annealing) and "fo_BT.out" (the tabu search) in the working directory.
#pragma once

#include "search/search_output.h"

class ProgramOutput : public SearchOutput {
 public:
  // The first record of each search recreates its log.
  bool annealing_started(float fo, long long moves) override;
  bool annealing_new_best(double seconds, float fomin, long long moves) override;
  void annealing_finished(double seconds) override;
  bool tabu_started(double seconds, float fo) override;
  void tabu_move_chosen(long long iter, float delta, const MoveValue& move) override;
  bool tabu_new_best(double seconds, float fomin, long long iter) override;
  void tabu_iteration_done(float fo, int stall) override;
  void tabu_finished(double seconds) override;
  void hybrid_switch() override;

  // The log that could not be opened, once an event has failed; null before.
  const char* failed_log() const { return failed_log_; }

 private:
  bool logged(bool written, const char* path);

  const char* failed_log_ = nullptr;
};

// The line that announces a search, as the menu's choices print it.
void announce_annealing();
void announce_tabu();
