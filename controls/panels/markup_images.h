#pragma once
// The images of the mark-up language: what an IMG source names (an image of the caller's image
// list, a system icon, a picture of the container or of the picture cache), how large it is and
// how it is drawn. System icons come from Qt's file-icon provider.

#include <QImage>
#include <QSize>
#include <QString>
#include <vector>

#include "platform/ui/canvas.h"
#include "platform/ui/image_list.h"

namespace kv::panels {

class THTMLPicture;
class THTMLPictureCache;
class TPictureContainer;

// Where sources are looked up; any may be missing.
struct TImageSources {
  const kv::ui::TImageList *Images = nullptr;
  THTMLPictureCache *PictureCache = nullptr;
  TPictureContainer *PictureContainer = nullptr;
};

struct TMarkupImage {
  enum Kind { ListImage, SystemIcon, Picture };
  Kind Type = ListImage;
  int Index = -1;     // image list index, or system icon index (-1: by FileName)
  bool Large = false; // system icons: 32 × 32 instead of 16 × 16
  QString FileName;   // system icon of a file or folder
  THTMLPicture *Pic = nullptr;

  // The size before scaling to the canvas's resolution: the list's image size, the icon size,
  // or the picture's animation size. 0 × 0 for an empty picture.
  QSize NaturalSize(const TImageSources &sources) const;
};

// The images a source names, by the rules in order (each rule that applies adds what it finds):
// "IDX:" an image list index (0 ≤ n < count), "SSYS:"/"LSYS:" a small or large system icon by
// index or by file name, no ":" a picture of the container, "://" a picture of the cache (added
// and loaded from the address when missing). Pictures that are empty are left out.
std::vector<TMarkupImage> ResolveImageSource(const QString &source, const TImageSources &sources);

// The system icons there are by index.
int SystemIconCount();
// A system icon by index (null outside 0..SystemIconCount()-1) or by file or folder name (for a
// name that does not exist, the icon of its extension).
QImage SystemIconImage(int index, bool large);
QImage SystemIconImage(const QString &file_name, bool large);

// Draws an image-list image or a system icon with its top-left at (x, y), at its own size or
// stretched into `stretch` when that is not empty.
void DrawListOrIcon(kv::ui::TCanvas &canvas, const TMarkupImage &image, const TImageSources &sources, int x,
                    int y, const kv::ui::TRect &stretch);

} // namespace kv::panels
