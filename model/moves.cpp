#include "model/moves.h"

namespace {

constexpr MoveKind kFieldKinds[] = {MoveKind::relocate, MoveKind::swap, MoveKind::two_opt, MoveKind::two_opt_star,
                                    MoveKind::or_opt, MoveKind::ruin};

}  // namespace

const char* move_kind_name(MoveKind kind) {
  switch (kind) {
    case MoveKind::position_swap:
    case MoveKind::swap:
      return "swap";
    case MoveKind::relocate:
      return "relocate";
    case MoveKind::two_opt:
      return "2opt";
    case MoveKind::two_opt_star:
      return "2opt*";
    case MoveKind::or_opt:
      return "oropt";
    case MoveKind::ruin:
      return "ruin";
  }
  return "";
}

std::optional<MoveKinds> parse_move_kinds(std::string_view text) {
  MoveKinds kinds = 0;
  int names = 0;
  for (std::size_t start = 0;;) {
    const std::size_t comma = text.find(',', start);
    const std::string_view name = text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    MoveKinds found = name == "all" ? kAllFieldMoves : 0;
    for (const MoveKind kind : kFieldKinds)
      if (name == move_kind_name(kind)) found = move_bit(kind);
    if (found == 0 || (kinds & found) != 0) return std::nullopt;
    kinds |= found;
    ++names;
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return names == 1 && kinds == move_bit(MoveKind::swap) ? kProgramMoves : kinds;
}

std::string move_kinds_text(MoveKinds kinds) {
  if (kinds == kProgramMoves) return "swap";
  const bool all = (kinds & kAllFieldMoves) == kAllFieldMoves;
  std::string text = all ? "all" : "";
  for (const MoveKind kind : kFieldKinds)
    if ((kinds & move_bit(kind)) != 0 && !(all && (kAllFieldMoves & move_bit(kind)) != 0)) {
      if (!text.empty()) text += ',';
      text += move_kind_name(kind);
    }
  return text;
}
