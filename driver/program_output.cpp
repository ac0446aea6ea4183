#include "driver/program_output.h"

#include <cstdio>

#include "report/progress_log.h"

namespace {

constexpr const char* kAnnealingLog = "fo_SA.out";
constexpr const char* kTabuLog = "fo_BT.out";

}  // namespace

void announce_annealing() { std::printf("Tecle enter para entrar no SIMULATED ANNEALING\n"); }

void announce_tabu() { std::printf("Tecle enter para entrar no BUSCA TABU\n"); }

bool ProgramOutput::logged(bool written, const char* path) {
  if (!written) failed_log_ = path;
  return written;
}

// The annealing's first record does not read the clock: it is logged at 0 s.
bool ProgramOutput::annealing_started(float fo, long long moves) {
  return logged(log_reset(kAnnealingLog), kAnnealingLog) &&
         logged(log_progress(kAnnealingLog, 0.0f, fo, moves), kAnnealingLog);
}

bool ProgramOutput::annealing_new_best(double seconds, float fomin, long long moves) {
  std::printf("Fomin = %f\n", static_cast<double>(fomin));
  std::fflush(stdout);
  return logged(log_progress(kAnnealingLog, static_cast<float>(seconds), fomin, moves), kAnnealingLog);
}

void ProgramOutput::annealing_finished(double seconds) {
  std::printf("Tempo de execucao do Simulated Annealing = %15.7f\n\n", seconds);
}

bool ProgramOutput::tabu_started(double seconds, float fo) {
  return logged(log_reset(kTabuLog), kTabuLog) &&
         logged(log_progress(kTabuLog, static_cast<float>(seconds), fo, 0), kTabuLog);
}

// The program's tabu search makes swaps of two positions only: the two
// positions, as no1 and no2.
void ProgramOutput::tabu_move_chosen(long long /*iter*/, float delta, const MoveValue& move) {
  std::printf("melhor delta = %4f\n", static_cast<double>(delta));
  std::printf("no1 = %2d no2 = %2d \n", move.first, move.second);
}

bool ProgramOutput::tabu_new_best(double seconds, float fomin, long long iter) {
  if (!logged(log_progress(kTabuLog, static_cast<float>(seconds), fomin, iter), kTabuLog)) return false;
  std::printf("iter = %3lld  ***   fomin = %5f\n", iter, static_cast<double>(fomin));
  std::fflush(stdout);
  return true;
}

void ProgramOutput::tabu_iteration_done(float fo, int stall) {
  std::printf("fo = %5f     iteracoes sem melhora = %5d\n", static_cast<double>(fo), stall);
}

void ProgramOutput::tabu_finished(double seconds) {
  std::printf("Tempo de execucao da busca tabu = %7.2f segundos\n", seconds);
}

void ProgramOutput::hybrid_switch() { announce_tabu(); }
