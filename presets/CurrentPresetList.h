#pragma once
// The one level of the preset tree the arrows step through, shared by every
// instance in the process. It keeps the scanned tree alive for as long as
// it points into it, and a lock makes it safe from any thread.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Lock.h"

class PopupMenu;
struct PopupMenuItem;

class CurrentPresetList {
public:
  struct Selection {
    std::string text;
    std::string filePath;
  };

  static CurrentPresetList& Shared();

  // Copies level's fields and item pointers; tree owns level (or is it).
  void Replace(std::shared_ptr<PopupMenu> tree, const PopupMenu& level);
  // Walks from the chosen item in direction, wrapping, to the next preset
  // item (or back to the chosen one). False when there is nothing to step.
  bool Step(int32_t direction, Selection& selected);

  int32_t ItemCount();
  int32_t ChosenItem();
  void Clear();

private:
  PlainLock lock_;
  std::shared_ptr<PopupMenu> tree_;
  int32_t numbering_ = 0;
  int32_t chosenItem_ = -1;
  int32_t flag_ = 0;
  std::vector<PopupMenuItem*> items_;
};
