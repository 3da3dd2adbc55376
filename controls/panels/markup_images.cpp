#include "controls/panels/markup_images.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>

#include "controls/panels/markup_attrs.h"
#include "controls/panels/markup_lexer.h"
#include "controls/panels/picture.h"
#include "controls/panels/picture_container.h"

namespace kv::panels {

namespace {

using kv::ui::TRect;

constexpr int kSmallIcon = 16;
constexpr int kLargeIcon = 32;

// The system image list's first entries, as far as this platform has them.
constexpr QAbstractFileIconProvider::IconType kSystemIcons[] = {
    QAbstractFileIconProvider::File,     QAbstractFileIconProvider::Folder,
    QAbstractFileIconProvider::Drive,    QAbstractFileIconProvider::Computer,
    QAbstractFileIconProvider::Desktop,  QAbstractFileIconProvider::Network,
    QAbstractFileIconProvider::Trashcan,
};

QImage IconImage(const QIcon &icon, bool large) {
  const int side = large ? kLargeIcon : kSmallIcon;
  if (icon.isNull()) return {};
  QImage image = icon.pixmap(QSize(side, side)).toImage();
  if (image.size() != QSize(side, side) && !image.isNull())
    image = image.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  return image;
}

TMarkupImage ListImage(int index) {
  TMarkupImage image;
  image.Index = index;
  return image;
}

TMarkupImage Icon(int index, bool large, const QString &name = {}) {
  TMarkupImage image;
  image.Type = TMarkupImage::SystemIcon;
  image.Index = index;
  image.Large = large;
  image.FileName = name;
  return image;
}

TMarkupImage PictureImage(THTMLPicture *picture) {
  TMarkupImage image;
  image.Type = TMarkupImage::Picture;
  image.Pic = picture;
  return image;
}

THTMLPicture *UsablePicture(THTMLPicture *picture) {
  return picture && !picture->Empty() ? picture : nullptr;
}

// The cache's picture of an address, added and loaded when it is not there yet.
THTMLPicture *CachedPicture(THTMLPictureCache &cache, const QString &address) {
  const QString identity = PictureIdentity(address);
  if (THTMLPicture *found = cache.FindPicture(identity)) return found;
  THTMLPicture *added = cache.AddPicture();
  added->SetAsynchronous(false);
  try {
    added->AssignAddress(address);
  } catch (...) {
    // An address whose bytes cannot be had or decoded shows nothing, whatever the reason.
  }
  return cache.FindPicture(identity);
}

} // namespace

QSize TMarkupImage::NaturalSize(const TImageSources &sources) const {
  switch (Type) {
  case ListImage:
    return sources.Images ? QSize(sources.Images->Width(), sources.Images->Height()) : QSize();
  case SystemIcon:
    return Large ? QSize(kLargeIcon, kLargeIcon) : QSize(kSmallIcon, kSmallIcon);
  case Picture:
    return Pic ? QSize(Pic->AnimationWidth(), Pic->AnimationHeight()) : QSize();
  }
  return {};
}

std::vector<TMarkupImage> ResolveImageSource(const QString &source, const TImageSources &sources) {
  std::vector<TMarkupImage> found;
  const QString upper = AsciiUpper(source);
  if (upper.contains(u"IDX:") && sources.Images) {
    const int n = ReadMarkupInt(QStringView(source).mid(4));
    if (n >= 0 && n < sources.Images->Count()) found.push_back(ListImage(n));
  }
  for (const bool large : {false, true}) {
    if (!upper.contains(large ? u"LSYS:" : u"SSYS:")) continue;
    const QStringView rest = QStringView(source).mid(5);
    bool whole = false;
    const int n = ReadMarkupInt(rest, &whole);
    if (!whole)
      found.push_back(Icon(-1, large, rest.toString()));
    else if (n >= 0 && n < SystemIconCount())
      found.push_back(Icon(n, large));
  }
  if (!upper.contains(u':') && sources.PictureContainer) {
    if (THTMLPicture *p = UsablePicture(sources.PictureContainer->FindPicture(upper)))
      found.push_back(PictureImage(p));
  }
  if (upper.contains(u"://") && sources.PictureCache) {
    if (THTMLPicture *p = UsablePicture(CachedPicture(*sources.PictureCache, source)))
      found.push_back(PictureImage(p));
  }
  return found;
}

int SystemIconCount() {
  return int(std::size(kSystemIcons));
}

QImage SystemIconImage(int index, bool large) {
  if (index < 0 || index >= SystemIconCount()) return {};
  return IconImage(QFileIconProvider().icon(kSystemIcons[index]), large);
}

QImage SystemIconImage(const QString &file_name, bool large) {
  return IconImage(QFileIconProvider().icon(QFileInfo(file_name)), large);
}

void DrawListOrIcon(kv::ui::TCanvas &canvas, const TMarkupImage &image, const TImageSources &sources, int x,
                    int y, const TRect &stretch) {
  if (image.Type == TMarkupImage::ListImage) {
    if (!sources.Images) return;
    if (stretch.IsEmpty())
      sources.Images->Draw(canvas, x, y, image.Index);
    else
      sources.Images->StretchDraw(canvas, stretch, image.Index);
    return;
  }
  if (image.Type != TMarkupImage::SystemIcon) return;
  const QImage icon = image.Index >= 0 ? SystemIconImage(image.Index, image.Large)
                                       : SystemIconImage(image.FileName, image.Large);
  if (icon.isNull()) return;
  const TRect source = kv::ui::Bounds(0, 0, icon.width(), icon.height());
  canvas.DrawImage(stretch.IsEmpty() ? kv::ui::Bounds(x, y, icon.width(), icon.height()) : stretch, icon,
                   source);
}

} // namespace kv::panels
