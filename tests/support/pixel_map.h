#pragma once
// Pictures in tests: a white image to draw on, and a picture written as rows of characters so
// that expected pixels read like the picture itself.

#include <QImage>
#include <map>
#include <string>
#include <vector>

#include "platform/ui/color.h"

namespace kvtest {

inline QImage FilledImage(int width, int height, Qt::GlobalColor colour) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}
inline QImage WhiteImage(int width, int height) {
  return FilledImage(width, height, Qt::white);
}
inline QImage BlueImage(int width, int height) {
  return FilledImage(width, height, Qt::blue);
}

// The usual legend: white, black, red, blue and fuchsia.
inline const std::map<char, kv::ui::TColor> kInk = {{'.', kv::ui::clWhite},
                                                    {'#', kv::ui::clBlack},
                                                    {'r', kv::ui::clRed},
                                                    {'b', kv::ui::clBlue},
                                                    {'m', kv::ui::clFuchsia}};

// One character per pixel: the character mapped to the pixel's colour, '?' for any other.
inline std::vector<std::string> PixelMap(const QImage &image, const std::map<char, kv::ui::TColor> &legend) {
  std::vector<std::string> rows;
  for (int y = 0; y < image.height(); ++y) {
    std::string row;
    for (int x = 0; x < image.width(); ++x) {
      char c = '?';
      for (const auto &[ch, colour] : legend)
        if ((image.pixel(x, y) | 0xFF000000u) == kv::ui::ToQRgb(colour)) c = ch;
      row += c;
    }
    rows.push_back(row);
  }
  return rows;
}

} // namespace kvtest
