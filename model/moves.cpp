#include "model/moves.h"

namespace {

constexpr MoveKind kFieldKinds[] = {MoveKind::relocate, MoveKind::swap, MoveKind::two_opt, MoveKind::two_opt_star,
                                    MoveKind::or_opt};

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
  }
  return "";
}

std::optional<MoveKinds> parse_move_kinds(std::string_view text) {
  if (text == "all") return kAllFieldMoves;
  MoveKinds kinds = 0;
  int names = 0;
  for (std::size_t start = 0;;) {
    const std::size_t comma = text.find(',', start);
    const std::string_view name = text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    std::optional<MoveKind> found;
    for (const MoveKind kind : kFieldKinds)
      if (name == move_kind_name(kind)) found = kind;
    if (!found || (kinds & move_bit(*found)) != 0) return std::nullopt;
    kinds |= move_bit(*found);
    ++names;
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return names == 1 && kinds == move_bit(MoveKind::swap) ? kProgramMoves : kinds;
}

std::string move_kinds_text(MoveKinds kinds) {
  if (kinds == kProgramMoves) return "swap";
  if (kinds == kAllFieldMoves) return "all";
  std::string text;
  for (const MoveKind kind : kFieldKinds)
    if ((kinds & move_bit(kind)) != 0) {
      if (!text.empty()) text += ',';
      text += move_kind_name(kind);
    }
  return text;
}
