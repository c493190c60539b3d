#include "graphics/PopupMenu.h"

#include <cstdio>

PopupMenuItem::~PopupMenuItem() { delete submenu; }

PopupMenuItem* PopupMenu::AddItem(const char* text) { return AddItem(text, nullptr); }

PopupMenuItem* PopupMenu::AddItem(const char* text, PopupMenu* submenu) {
  auto* item = new PopupMenuItem();
  item->text.Set(text ? text : "");
  item->submenu = submenu;
  if (!items.Add(item)) {
    delete item;
    return nullptr;
  }
  return item;
}

PopupMenuItem* PopupMenu::AddSeparator() {
  PopupMenuItem* item = AddItem("");
  if (item) item->flags = kItemSeparator;
  return item;
}

void PopupMenu::ShownText(int32_t index, TextBuf& out) const {
  const PopupMenuItem* item = ItemAt(index);
  if (!item) {
    out.Set("");
    return;
  }
  static const char* const kNumberFormats[] = {"%1d: %s", "%02d: %s", "%03d: %s"};
  if (numbering < 1 || numbering > 3) {
    out.Set(item->text.Get());
    return;
  }
  char shown[512];
  std::snprintf(shown, sizeof(shown), kNumberFormats[numbering - 1], index + 1, item->text.Get());
  out.Set(shown);
}

PopupMenu* PopupMenu::ChooseByCommand(int32_t id) {
  if (id < 0) return nullptr;
  int32_t counter = 0;
  return FindCommand(id, counter, 0);
}

PopupMenu* PopupMenu::FindCommand(int32_t id, int32_t& counter, int32_t depth) {
  if (depth >= kMaxDepth) return nullptr;
  const int32_t base = counter;
  counter += ItemCount();
  if (id < counter) {
    chosenItem = id - base;
    return this;
  }
  for (int32_t i = 0; i < ItemCount(); ++i) {
    PopupMenu* submenu = ItemAt(i)->submenu;
    if (!submenu) continue;
    if (PopupMenu* found = submenu->FindCommand(id, counter, depth + 1)) return found;
  }
  return nullptr;
}

int32_t PopupMenu::CommandCount() const { return CountCommands(0); }

int32_t PopupMenu::CountCommands(int32_t depth) const {
  if (depth >= kMaxDepth) return 0;
  int32_t count = ItemCount();
  for (int32_t i = 0; i < ItemCount(); ++i) {
    if (const PopupMenu* submenu = ItemAt(i)->submenu) count += submenu->CountCommands(depth + 1);
  }
  return count;
}
