#pragma once
// The menu record shared by the value prompt, the preset browser and the
// window layers that show it.
#include <cstdint>

#include "base/PtrList.h"
#include "base/TextBuf.h"

class PopupMenu;

enum PopupItemFlags : int32_t {
  kItemGrayed = 1,
  kItemDisabled = 2,  // disabled without graying
  kItemChecked = 4,
  kItemSeparator = 8  // text and other bits ignored
};

struct PopupMenuItem {
  PopupMenuItem() = default;
  ~PopupMenuItem();
  PopupMenuItem(const PopupMenuItem&) = delete;
  PopupMenuItem& operator=(const PopupMenuItem&) = delete;

  bool IsSeparator() const { return (flags & kItemSeparator) != 0; }

  TextBuf filePath;
  bool notAPreset = true;  // only the preset scanner makes items with false
  TextBuf text;
  PopupMenu* submenu = nullptr;  // owned: released with the item
  int32_t flags = 0;
};

class PopupMenu {
public:
  static constexpr int32_t kMaxDepth = 32;  // deeper submenus are not walked

  PopupMenu() = default;
  PopupMenu(const PopupMenu&) = delete;
  PopupMenu& operator=(const PopupMenu&) = delete;

  // Each returns the new item, or null when it could not be stored (a given
  // submenu is then released).
  PopupMenuItem* AddItem(const char* text);
  PopupMenuItem* AddItem(const char* text, PopupMenu* submenu);
  PopupMenuItem* AddSeparator();

  int32_t ItemCount() const { return items.Count(); }
  PopupMenuItem* ItemAt(int32_t index) const { return items.Get(index); }

  // The text a window shows for the item at index: with numbering 1-3 its
  // 1-based position, ": " and the text. Empty for an index outside the menu.
  void ShownText(int32_t index, TextBuf& out) const;

  // Command ids number every item of the tree: this menu's items first, then
  // each submenu's items after those of the menu holding it, in the order
  // the submenus are met. Sets the chosen item of the menu holding command
  // id and returns that menu; null (nothing changed) for an unknown id.
  PopupMenu* ChooseByCommand(int32_t id);
  // The number of command ids the tree uses.
  int32_t CommandCount() const;

  int32_t numbering = 0;  // 0 none; 1, 2, 3 digits of the shown position
  int32_t chosenItem = -1;
  int32_t flag = 0;
  PtrList<PopupMenuItem> items{4096};

private:
  PopupMenu* FindCommand(int32_t id, int32_t& counter, int32_t depth);
  int32_t CountCommands(int32_t depth) const;
};
