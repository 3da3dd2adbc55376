#pragma once
// Rectangles in the controls' own convention: Left and Top inclusive, Right and Bottom
// exclusive, so Right − Left is the width. QRect counts its right edge as inside; convert with
// ToQRect and FromQRect, never by hand.

#include <QPoint>
#include <QRect>
#include <algorithm>

namespace kv::ui {

struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;

  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  // True when the rectangle covers no pixel.
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  bool Contains(QPoint p) const { return p.x() >= Left && p.x() < Right && p.y() >= Top && p.y() < Bottom; }
  QPoint TopLeft() const { return {Left, Top}; }
  QPoint BottomRight() const { return {Right, Bottom}; }
  friend bool operator==(const TRect &, const TRect &) = default;
};

inline TRect Rect(int left, int top, int right, int bottom) {
  return {left, top, right, bottom};
}
inline TRect Bounds(int left, int top, int width, int height) {
  return {left, top, left + width, top + height};
}
inline QRect ToQRect(const TRect &r) {
  return QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
}
inline TRect FromQRect(const QRect &r) {
  return {r.x(), r.y(), r.x() + r.width(), r.y() + r.height()};
}

// Grows (positive) or shrinks (negative) the rectangle on both sides.
inline void InflateRect(TRect &r, int dx, int dy) {
  r.Left -= dx;
  r.Right += dx;
  r.Top -= dy;
  r.Bottom += dy;
}
inline void OffsetRect(TRect &r, int dx, int dy) {
  r.Left += dx;
  r.Right += dx;
  r.Top += dy;
  r.Bottom += dy;
}
// The common part of two rectangles; an empty rectangle (all zero) when they do not overlap.
inline TRect IntersectRect(const TRect &a, const TRect &b) {
  const TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
                std::min(a.Bottom, b.Bottom)};
  return r.IsEmpty() ? TRect{} : r;
}

} // namespace kv::ui
