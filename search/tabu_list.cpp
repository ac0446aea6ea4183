#include "search/tabu_list.h"

#include <new>
#include <utility>

TabuList::~TabuList() {
  // Each node owns the next newer one, so letting `head` go would free the
  // chain by recursion, one stack frame per node. Detach and free one node at
  // a time instead.
  std::unique_ptr<TabuMove> node = std::move(head);
  while (node) node = std::move(node->newer);
  tail = nullptr;
}

std::unique_ptr<TabuMove> new_tabu_move(int no1, int no2) {
  try {
    auto move = std::make_unique<TabuMove>();
    move->no1 = no1;
    move->no2 = no2;
    return move;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void tabu_append(std::unique_ptr<TabuMove> move, TabuList& list) {
  if (!move) return;
  TabuMove* added = move.get();
  added->newer.reset();
  if (list.tail == nullptr) {
    added->older = nullptr;
    list.head = std::move(move);
  } else {
    added->older = list.tail;
    list.tail->newer = std::move(move);
  }
  list.tail = added;
}

void tabu_remove(TabuMove* move, TabuList& list) {
  if (move == nullptr) return;
  if (move == list.head.get()) {
    std::unique_ptr<TabuMove> removed = std::move(list.head);
    list.head = std::move(removed->newer);
    if (list.head)
      list.head->older = nullptr;
    else
      list.tail = nullptr;
    return;  // `removed` releases the node here
  }
  TabuMove* older = move->older;
  std::unique_ptr<TabuMove> removed = std::move(older->newer);  // owns `move`
  older->newer = std::move(removed->newer);
  if (move == list.tail)
    list.tail = older;
  else
    older->newer->older = older;
}

bool tabu_contains(int no1, int no2, const TabuList& list) {
  for (const TabuMove* node = list.head.get(); node != nullptr; node = node->newer.get())
    if (node->no1 == no1 && node->no2 == no2) return true;
  return false;
}

int tabu_length(const TabuList& list) {
  int length = 0;
  for (const TabuMove* node = list.head.get(); node != nullptr; node = node->newer.get()) ++length;
  return length;
}
