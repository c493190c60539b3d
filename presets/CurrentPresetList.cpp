#include "presets/CurrentPresetList.h"

#include "graphics/PopupMenu.h"

CurrentPresetList& CurrentPresetList::Shared() {
  static CurrentPresetList list;
  return list;
}

void CurrentPresetList::Replace(std::shared_ptr<PopupMenu> tree, const PopupMenu& level) {
  std::vector<PopupMenuItem*> items;
  items.reserve(size_t(level.ItemCount()));
  for (int32_t i = 0; i < level.ItemCount(); ++i) items.push_back(level.ItemAt(i));
  std::shared_ptr<PopupMenu> released;
  {
    LockHold hold(lock_);
    released = std::move(tree_);  // the old tree goes once nobody points into it
    tree_ = std::move(tree);
    numbering_ = level.numbering;
    chosenItem_ = level.chosenItem;
    flag_ = level.flag;
    items_ = std::move(items);
  }
}

bool CurrentPresetList::Step(int32_t direction, Selection& selected) {
  LockHold hold(lock_);
  const int32_t count = int32_t(items_.size());
  if (count == 0 || chosenItem_ < 0 || chosenItem_ >= count) return false;
  const int32_t step = direction < 0 ? -1 : 1;
  int32_t at = chosenItem_;
  for (int32_t walked = 1; walked < count; ++walked) {
    const int32_t candidate = ((chosenItem_ + step * walked) % count + count) % count;
    if (!items_[size_t(candidate)]->notAPreset) {
      at = candidate;
      break;
    }
  }
  chosenItem_ = at;
  selected.text = items_[size_t(at)]->text.Get();
  selected.filePath = items_[size_t(at)]->filePath.Get();
  return true;
}

int32_t CurrentPresetList::ItemCount() {
  LockHold hold(lock_);
  return int32_t(items_.size());
}

int32_t CurrentPresetList::ChosenItem() {
  LockHold hold(lock_);
  return chosenItem_;
}

void CurrentPresetList::Clear() {
  std::shared_ptr<PopupMenu> released;
  LockHold hold(lock_);
  released = std::move(tree_);
  items_.clear();
  chosenItem_ = -1;
  numbering_ = 0;
  flag_ = 0;
}
