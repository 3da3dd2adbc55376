#include "controls/panels/picture_container.h"

#include <stdexcept>

#include "controls/panels/markup_lexer.h"

namespace kv::panels {

namespace {

template <typename List> auto &Checked(const List &list, int index) {
  if (index < 0 || index >= static_cast<int>(list.size()))
    throw std::out_of_range("List index out of bounds");
  return list[static_cast<size_t>(index)];
}

} // namespace

TPictureItem::TPictureItem(TPictureCollection *Collection)
    : collection_(Collection), picture_(std::make_unique<THTMLPicture>()) {}

void TPictureItem::Assign(const TPictureItem *Source) {
  if (!Source) throw std::invalid_argument("Cannot assign a nil to a TPictureItem");
  if (Source == this) return;
  Name = Source->Name;
  Tag = Source->Tag;
  picture_->Assign(Source->picture_.get());
}

TPictureItem *TPictureCollection::Items(int Index) const {
  return Checked(items_, Index).get();
}

TPictureItem *TPictureCollection::Add() {
  items_.push_back(std::make_unique<TPictureItem>(this));
  return items_.back().get();
}

void TPictureCollection::Delete(int Index) {
  Checked(items_, Index);
  items_.erase(items_.begin() + Index);
}

void TPictureCollection::Assign(const TPictureCollection &Source) {
  if (&Source == this) return;
  items_.clear();
  for (const auto &item : Source.items_)
    Add()->Assign(item.get());
}

TPictureContainer::TPictureContainer(QObject *parent)
    : QObject(parent), items_(std::make_unique<TPictureCollection>(this)) {}

TPictureContainer::~TPictureContainer() = default;

void TPictureContainer::SetItems(const TPictureCollection *Value) {
  if (Value)
    items_->Assign(*Value);
  else
    items_->Clear();
}

THTMLPicture *TPictureContainer::FindPicture(const QString &Name) const {
  for (int i = 0; i < items_->Count(); ++i) {
    TPictureItem *item = items_->Items(i);
    if (AsciiUpper(item->Name) == Name) return item->Picture();
  }
  return nullptr;
}

THTMLPicture *THTMLPictureCache::AddPicture() {
  pictures_.push_back(std::make_unique<THTMLPicture>());
  pictures_.back()->SetModuleInstance(module_instance_);
  return pictures_.back().get();
}

THTMLPicture *THTMLPictureCache::FindPicture(const QString &Identity) const {
  for (const auto &picture : pictures_)
    if (picture->Identity() == Identity) return picture.get();
  return nullptr;
}

THTMLPicture *THTMLPictureCache::GetPicture(int Index) const {
  return Checked(pictures_, Index).get();
}

} // namespace kv::panels
