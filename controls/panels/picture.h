#pragma once
// Pictures kept as the raw bytes of their file and drawn from the decoded image: TExImage (the
// panel's Background) and THTMLPicture (the mark-up renderer's pictures: stretching, one frame
// of an animated GIF, loading from "RES://" and "FILE://" addresses).

#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "platform/ui/canvas.h"
#include "platform/ui/geometry.h"

class QIODevice;

namespace kv::panels {

// The framework's abstract graphic: what the picture and streaming machinery needs of a picture.
class TGraphic {
public:
  virtual ~TGraphic() = default;
  TGraphic(const TGraphic &) = delete;
  TGraphic &operator=(const TGraphic &) = delete;

  // Copies Source (nullptr clears); what is copied depends on the class.
  virtual void Assign(const TGraphic *Source) = 0;
  // Draws into Rect; nothing when empty.
  virtual void Draw(kv::ui::TCanvas &Canvas, const kv::ui::TRect &Rect) const = 0;
  virtual bool GetEmpty() const = 0;
  virtual int GetWidth() const = 0;
  virtual int GetHeight() const = 0;
  virtual void SetWidth(int Value) = 0;
  virtual void SetHeight(int Value) = 0;
  // The form description's data: the picture file's bytes.
  virtual void ReadData(QIODevice *Stream) = 0;
  virtual void WriteData(QIODevice *Stream) const = 0;
  virtual void LoadFromFile(const QString &FileName) = 0;
  virtual void LoadFromStream(QIODevice *Stream) = 0;
  virtual void SaveToStream(QIODevice *Stream) const = 0;
  virtual void LoadFromClipboardFormat(uint16_t Format, quintptr Data, quintptr Palette) = 0;
  virtual void SaveToClipboardFormat(uint16_t &Format, quintptr &Data, quintptr &Palette) const = 0;

  bool Empty() const { return GetEmpty(); }
  int Width() const { return GetWidth(); }
  int Height() const { return GetHeight(); }

  std::function<void(TGraphic *Sender)> OnChange;

protected:
  TGraphic() = default;
  void Changed() {
    if (OnChange) OnChange(this);
  }
};

// What both picture classes share: the file's bytes, the empty flag, the decoded picture and its
// size in HIMETRIC units (0.01 mm), measured at 96 pixels per inch.
class TStreamPicture : public TGraphic {
public:
  bool GetEmpty() const override { return empty_; }
  int GetWidth() const override;
  int GetHeight() const override;
  void SetWidth(int) override {}
  void SetHeight(int) override {}
  void ReadData(QIODevice *Stream) override;
  void WriteData(QIODevice *Stream) const override { SaveToStream(Stream); }
  // Loads the file; any failure leaves the picture empty and is not passed on.
  void LoadFromFile(const QString &FileName) override;
  // Takes the whole stream; a failed decode throws EPictureError and leaves the picture empty.
  void LoadFromStream(QIODevice *Stream) override;
  void SaveToStream(QIODevice *Stream) const override;
  void LoadFromClipboardFormat(uint16_t, quintptr, quintptr) override {}
  void SaveToClipboardFormat(uint16_t &, quintptr &, quintptr &) const override {}

  // Loads the bytes of a picture file; throws like LoadFromStream.
  void LoadFromBytes(const QByteArray &Bytes);

  const QByteArray &Data() const { return data_; }
  // The decoded picture; null when empty.
  const QImage &Image() const { return image_; }
  int HimetricWidth() const { return himetric_width_; }
  int HimetricHeight() const { return himetric_height_; }
  static constexpr int PixelsPerInch = 96;

  // The whole picture stretched into Rect, or at natural size (scaled to the canvas's pixels
  // per inch) with its top-left at Rect's; nothing when empty.
  void DrawStretched(kv::ui::TCanvas &Canvas, const kv::ui::TRect &Rect) const;
  void DrawNatural(kv::ui::TCanvas &Canvas, const kv::ui::TRect &Rect) const;

protected:
  TStreamPicture() = default;
  // Takes new bytes and decodes them: empty only after a decode that worked. Throws EPictureError.
  void SetData(const QByteArray &Bytes);
  // Decodes the bytes held; on failure the picture is empty (bytes dropped) and the error thrown.
  void Decode();
  // Forgets bytes and picture.
  void Clear();
  // The bytes the decoder sees; THTMLPicture picks a GIF frame here.
  virtual QByteArray DecodedBytes() { return data_; }
  // Adjusts a freshly decoded image; THTMLPicture cuts a GIF frame out of its logical screen.
  virtual QImage Decoded(QImage image) { return image; }

  QByteArray data_;
  bool empty_ = true;
  QImage image_;
  int himetric_width_ = 0;
  int himetric_height_ = 0;
};

// The panel's Background picture.
class TExImage : public TStreamPicture {
public:
  TExImage() = default;
  // Always empties first; a TExImage source is copied and decoded; nullptr clears the bytes;
  // any other kind of picture leaves this one empty without bytes.
  void Assign(const TGraphic *Source) override;
  void Draw(kv::ui::TCanvas &Canvas, const kv::ui::TRect &Rect) const override {
    DrawStretched(Canvas, Rect);
  }
};

class THTMLPicture;

// The download worker of an address that is neither "RES://" nor "FILE://": there is no download,
// so its work is empty and it ends at once.
class TDownLoadThread {
public:
  explicit TDownLoadThread(THTMLPicture *Picture);
  ~TDownLoadThread();
  THTMLPicture *Picture() const { return picture_; }

private:
  THTMLPicture *picture_;
  std::thread thread_;
};

using TDownloadErrorEvent = std::function<void(THTMLPicture *Sender, const QString &err)>;
using TDownloadCompleteEvent = std::function<void(THTMLPicture *Sender)>;
using TDownloadCancelEvent = std::function<void(THTMLPicture *Sender, bool &Cancel)>;
using TDownloadProgressEvent = std::function<void(THTMLPicture *Sender, uint32_t dwSize, uint32_t dwTotSize)>;

// The mark-up renderer's picture.
class THTMLPicture : public TStreamPicture {
public:
  THTMLPicture() = default;
  ~THTMLPicture() override;

  // Always empties and resets the frame first; a THTMLPicture source is copied and decoded;
  // nullptr or another kind of picture leaves this one empty without bytes.
  void Assign(const TGraphic *Source) override;
  // Stretched into Rect, or at natural size at Rect's top-left.
  void Draw(kv::ui::TCanvas &Canvas, const kv::ui::TRect &Rect) const override;

  bool Stretch() const { return stretch_; }
  void SetStretch(bool Value) { stretch_ = Value; }
  // The 1-based frame of an animated GIF; numbers beyond the frames there are show the last.
  int Frame() const { return frame_; }
  void SetFrame(int Value);

  // At least five bytes, the first four "GIF8".
  bool IsGIF() const;
  // -1 when not a GIF; else the frames (counted once).
  int FrameCount() const;
  // The chosen frame's place on the GIF's logical screen, and its size.
  int FrameLeft() const { return frame_left_; }
  int FrameTop() const { return frame_top_; }
  int FrameWidth() const { return frame_width_; }
  int FrameHeight() const { return frame_height_; }
  // The logical screen of a GIF, else the picture's size; 0 when empty.
  int AnimationWidth() const;
  int AnimationHeight() const;

  // Loads the resource Name (without regard to ASCII case, with or without its file extension)
  // from the resource folder Instance (empty: the program's own, ":/korvane"); nothing when
  // there is none.
  void LoadFromResource(const QString &Instance, const QString &Name);
  // "RES://name" and "FILE://path" load; other addresses are remembered and stay empty. The
  // identity is PictureIdentity(Address).
  void AssignAddress(const QString &Address);

  const QString &Identity() const { return identity_; }
  const QString &DownloadAddress() const { return download_address_; }
  const QString &ModuleInstance() const { return module_instance_; }
  void SetModuleInstance(const QString &Value) { module_instance_ = Value; }
  bool Asynchronous() const { return asynchronous_; }
  void SetAsynchronous(bool Value) { asynchronous_ = Value; }
  bool Busy() const { return busy_; }

  std::function<void(THTMLPicture *Sender)> OnFrameChange;
  // Kept for the interface; no download exists, so nothing raises them.
  TDownloadErrorEvent OnDownLoadError;
  TDownloadCompleteEvent OnDownLoadComplete;
  TDownloadCancelEvent OnDownLoadCancel;
  TDownloadProgressEvent OnDownLoadProgress;

protected:
  QByteArray DecodedBytes() override;
  QImage Decoded(QImage image) override;

private:
  bool stretch_ = false;
  int frame_ = 1;
  mutable int frame_count_ = -1;
  int frame_left_ = 0, frame_top_ = 0, frame_width_ = 0, frame_height_ = 0;
  int animation_width_ = 0, animation_height_ = 0;
  QString identity_;
  QString download_address_;
  QString module_instance_;
  bool asynchronous_ = true;
  bool busy_ = false;
  std::unique_ptr<TDownLoadThread> download_;
};

// The identity by which the picture cache knows an address: the address in upper case, except
// that a file path keeps its case (two paths that differ in case name two files); only the
// scheme and the names of the program's own pictures are compared without regard to case.
QString PictureIdentity(const QString &Address);

// The resource folder of the program's own pictures.
inline constexpr const char *kProgramResources = ":/korvane";

} // namespace kv::panels
