#pragma once
// Where the mark-up renderer finds pictures besides an image list: a container of named
// pictures (sources without ":") and the per-panel cache of pictures taken from addresses
// (sources with "://"). Both own their pictures.

#include <QObject>
#include <QString>
#include <memory>
#include <vector>

#include "controls/panels/picture.h"

namespace kv::panels {

class TPictureCollection;
class TPictureContainer;

// A named picture of a container.
class TPictureItem {
public:
  explicit TPictureItem(TPictureCollection *Collection = nullptr);
  TPictureCollection *Collection() const { return collection_; }

  THTMLPicture *Picture() const { return picture_.get(); }
  // Copies Value into the item's own picture.
  void SetPicture(const THTMLPicture *Value) { picture_->Assign(Value); }
  // Copies Name, Tag and the picture; throws std::invalid_argument for nullptr.
  void Assign(const TPictureItem *Source);

  QString Name;
  int Tag = 0;

private:
  TPictureCollection *collection_;
  std::unique_ptr<THTMLPicture> picture_;
};

class TPictureCollection {
public:
  explicit TPictureCollection(TPictureContainer *Owner = nullptr) : owner_(Owner) {}
  TPictureContainer *Owner() const { return owner_; }

  int Count() const { return static_cast<int>(items_.size()); }
  // Item Index, from 0; throws std::out_of_range outside 0..Count-1.
  TPictureItem *Items(int Index) const;
  TPictureItem *Add();
  void Delete(int Index);
  void Clear() { items_.clear(); }
  // Replaces the items with copies of Source's.
  void Assign(const TPictureCollection &Source);

private:
  TPictureContainer *owner_;
  std::vector<std::unique_ptr<TPictureItem>> items_;
};

// A non-visual component holding named pictures.
class TPictureContainer : public QObject {
  Q_OBJECT
public:
  explicit TPictureContainer(QObject *parent = nullptr);
  ~TPictureContainer() override;

  TPictureCollection *Items() const { return items_.get(); }
  // Copies Value's items into the container's own collection.
  void SetItems(const TPictureCollection *Value);

  // The picture of the first item whose name in upper case equals Name (expected upper case);
  // nullptr when none does.
  THTMLPicture *FindPicture(const QString &Name) const;

private:
  std::unique_ptr<TPictureCollection> items_;
};

// The pictures a panel took from addresses, in the order added.
class THTMLPictureCache {
public:
  // ModuleInstance: the resource folder "RES://" addresses name (empty: the program's own).
  explicit THTMLPictureCache(QString ModuleInstance = {}) : module_instance_(std::move(ModuleInstance)) {}

  // A new empty picture, added at the end, with the cache's module instance.
  THTMLPicture *AddPicture();
  // The first picture whose identity equals Identity exactly; nullptr when none does.
  THTMLPicture *FindPicture(const QString &Identity) const;
  // The picture at Index; throws std::out_of_range outside 0..Count-1.
  THTMLPicture *GetPicture(int Index) const;
  int Count() const { return static_cast<int>(pictures_.size()); }
  void Clear() { pictures_.clear(); }

private:
  QString module_instance_;
  std::vector<std::unique_ptr<THTMLPicture>> pictures_;
};

} // namespace kv::panels
