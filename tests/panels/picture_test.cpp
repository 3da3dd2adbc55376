// Pictures: GIF frames on hand-made bytes, decoding failures, the two picture classes, addresses,
// the container and the cache.
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "controls/panels/gif_frames.h"
#include "controls/panels/picture.h"
#include "controls/panels/picture_container.h"
#include "controls/panels/picture_decode.h"
#include "ex_panel_support.h"
#include "platform/ui/canvas.h"
#include "qt_application.h"
#include "test_support.h"

using namespace kv::panels;
using kv::ui::Rect;
using kv::ui::TCanvas;

namespace {

void Put16(std::string &b, int v) {
  b.push_back(char(v & 0xFF));
  b.push_back(char(v >> 8));
}

// Image data for 2-bit colour indexes: a clear code before every second pixel keeps the codes
// 3 bits wide. `tail` goes into the last data block after the end code (decoders ignore it).
std::string Lzw(const std::vector<int> &pixels, const std::string &tail = "") {
  std::vector<int> codes;
  for (size_t i = 0; i < pixels.size(); ++i) {
    if (i % 2 == 0) codes.push_back(4);
    codes.push_back(pixels[i]);
  }
  codes.push_back(5);
  std::string packed;
  unsigned acc = 0;
  int bits = 0;
  for (int c : codes) {
    acc |= unsigned(c) << bits;
    for (bits += 3; bits >= 8; bits -= 8, acc >>= 8)
      packed.push_back(char(acc & 0xFF));
  }
  if (bits) packed.push_back(char(acc & 0xFF));
  packed += tail;
  std::string out(1, char(2));
  for (size_t i = 0; i < packed.size(); i += 255) {
    const size_t n = std::min<size_t>(255, packed.size() - i);
    out.push_back(char(n));
    out += packed.substr(i, n);
  }
  out.push_back(0);
  return out;
}

struct GifFrameShape {
  int left, top, width, height, color; // color: index 1 red, 2 green, 3 blue
  std::string tail = "";
};

// An 8×6 GIF with a four-colour table (black, red, green, blue) and one frame per shape, each a
// graphic control extension and an image descriptor.
std::string MakeGif(const std::vector<GifFrameShape> &frames, bool controls = true) {
  std::string g = "GIF89a";
  Put16(g, 8);
  Put16(g, 6);
  g += std::string("\x81\x00\x00", 3);
  g += std::string("\0\0\0\xFF\0\0\0\xFF\0\0\0\xFF", 12);
  for (const GifFrameShape &f : frames) {
    if (controls) g += std::string("\x21\xF9\x04\x00\x0A\x00\x00\x00", 8);
    g.push_back(0x2C);
    Put16(g, f.left);
    Put16(g, f.top);
    Put16(g, f.width);
    Put16(g, f.height);
    g.push_back(0);
    g += Lzw(std::vector<int>(size_t(f.width * f.height), f.color), f.tail);
  }
  g.push_back(0x3B);
  return g;
}

QByteArray Bytes(const std::string &s) {
  return QByteArray(s.data(), qsizetype(s.size()));
}

const std::vector<GifFrameShape> kThreeFrames = {{0, 0, 3, 2, 1}, {2, 1, 3, 2, 2}, {4, 3, 4, 3, 3}};

TEST(GifFrames, WalksTheBlocksOfAThreeFrameGif) {
  const std::string gif = MakeGif(kThreeFrames);
  const TGifLayout layout = WalkGifFrames(gif);
  EXPECT_EQ(layout.ScreenWidth, 8);
  EXPECT_EQ(layout.ScreenHeight, 6);
  ASSERT_EQ(layout.Frames.size(), 3u);
  EXPECT_EQ(layout.Frames[1].Left, 2);
  EXPECT_EQ(layout.Frames[1].Top, 1);
  EXPECT_EQ(layout.Frames[2].Width, 4);
  EXPECT_EQ(layout.Frames[2].Height, 3);
  EXPECT_EQ(gif.substr(layout.Frames[0].Start, 3), "\x21\xF9\x04");
  // Frames without a graphic control extension are not counted.
  EXPECT_TRUE(WalkGifFrames(MakeGif(kThreeFrames, false)).Frames.empty());
}

TEST(GifFrames, TheFramePatternInsideDataBlocksIsNoFrame) {
  // Inside image data and a comment: a graphic control extension followed by a separator.
  const std::string pattern("\x21\xF9\x04\x00\x00\x00\x00\x00\x2C\x00\x00\x00\x00\x01\x00\x01\x00\x00", 18);
  std::vector<GifFrameShape> frames = kThreeFrames;
  frames[0].tail = pattern;
  std::string gif = MakeGif(frames);
  const size_t first = WalkGifFrames(gif).Frames[0].Start;
  gif.insert(first, std::string("\x21\xFE") + char(pattern.size()) + pattern + '\0');
  EXPECT_EQ(WalkGifFrames(gif).Frames.size(), 3u);
  THTMLPicture picture;
  picture.LoadFromBytes(Bytes(gif));
  EXPECT_EQ(picture.FrameCount(), 3);
  EXPECT_EQ(picture.Image().pixel(0, 0), qRgb(255, 0, 0));
}

TEST(GifFrames, TruncatedDataIsNeverReadPastItsEnd) {
  const std::string gif = MakeGif(kThreeFrames);
  size_t last = 0;
  for (size_t n = 0; n <= gif.size(); ++n) {
    // An exactly sized heap copy, so that the address sanitizer sees any read past the end.
    auto copy = std::make_unique<char[]>(n + 1);
    std::memcpy(copy.get(), gif.data(), n);
    const size_t count = WalkGifFrames(std::string_view(copy.get(), n)).Frames.size();
    EXPECT_GE(count, last) << n;
    EXPECT_LE(count, 3u) << n;
    last = count;
  }
  EXPECT_EQ(last, 3u);
  // Cut inside the second frame's image descriptor: only the first frame counts.
  const size_t second = WalkGifFrames(gif).Frames[1].Start;
  EXPECT_EQ(WalkGifFrames(std::string_view(gif).substr(0, second + 8 + 5)).Frames.size(), 1u);
}

TEST(GifFrames, SelectingKeepsTheHeadAndTheChosenFrameOnwards) {
  const std::string gif = MakeGif(kThreeFrames);
  const TGifLayout layout = WalkGifFrames(gif);
  EXPECT_EQ(SelectGifFrame(gif, layout, 1), gif);
  const std::string second = SelectGifFrame(gif, layout, 2);
  EXPECT_EQ(second, gif.substr(0, layout.Frames[0].Start) + gif.substr(layout.Frames[1].Start));
  EXPECT_EQ(SelectGifFrame(gif, layout, 99), SelectGifFrame(gif, layout, 3));
}

TEST(HTMLPicture, ShowsTheChosenFrameOfAnAnimatedGif) {
  THTMLPicture picture;
  int frame_changes = 0;
  picture.OnFrameChange = [&](THTMLPicture *) { ++frame_changes; };
  picture.SetFrame(2);
  EXPECT_EQ(frame_changes, 0) << "no bytes yet";
  picture.LoadFromBytes(Bytes(MakeGif(kThreeFrames)));
  EXPECT_TRUE(picture.IsGIF());
  EXPECT_EQ(picture.FrameCount(), 3);
  EXPECT_EQ(picture.FrameLeft(), 2);
  EXPECT_EQ(picture.FrameTop(), 1);
  EXPECT_EQ(picture.Width(), 3) << "the frame alone";
  EXPECT_EQ(picture.AnimationWidth(), 8);
  EXPECT_EQ(picture.AnimationHeight(), 6);
  EXPECT_EQ(picture.Image().pixel(0, 0), qRgb(0, 255, 0));
  picture.SetFrame(3);
  EXPECT_EQ(frame_changes, 1);
  EXPECT_EQ(picture.Image().pixel(1, 1), qRgb(0, 0, 255));
  EXPECT_EQ(picture.FrameLeft(), 4);
  // A frame number beyond the count shows the last frame instead of failing.
  picture.SetFrame(9);
  EXPECT_FALSE(picture.Empty());
  EXPECT_EQ(picture.Image().pixel(0, 0), qRgb(0, 0, 255));
  EXPECT_EQ(picture.FrameLeft(), 4);
}

TEST(HTMLPicture, FourBytesGif8IsNoGif) {
  THTMLPicture picture;
  EXPECT_THROW(picture.LoadFromBytes("GIF8"), EPictureError);
  EXPECT_FALSE(picture.IsGIF());
  EXPECT_EQ(picture.FrameCount(), -1);
}

TEST(Pictures, AFailedDecodeLeavesThePictureEmpty) {
  for (const QByteArray &bad : {QByteArray("GIF89a\x08\x00\x06"), QByteArray("not a picture at all"),
                                QByteArray("\xFF\xD8\xFF\xE0 truncated jpeg"), QByteArray()}) {
    TExImage image;
    int changes = 0;
    image.OnChange = [&](TGraphic *) { ++changes; };
    const std::string text = kvtest::FailureText<EPictureError>([&] { image.LoadFromBytes(bad); });
    EXPECT_TRUE(text == kInvalidImageText || text == kNoImageText || text == kEmptyImageStreamText) << text;
    EXPECT_TRUE(image.Empty());
    EXPECT_TRUE(image.Data().isEmpty());
    EXPECT_EQ(image.Width(), 0);
    EXPECT_EQ(changes, 0);
  }
  TExImage image;
  image.LoadFromFile("/nonexistent/picture.bmp");
  EXPECT_TRUE(image.Empty());
}

using kvtest::Encoded;

QImage FourColours() {
  QImage image(2, 2, QImage::Format_RGB32);
  image.setPixel(0, 0, qRgb(255, 0, 0));
  image.setPixel(1, 0, qRgb(0, 255, 0));
  image.setPixel(0, 1, qRgb(0, 0, 255));
  image.setPixel(1, 1, qRgb(255, 255, 255));
  return image;
}

TEST(Pictures, AStretchedBitmapStaysUprightAndNaturalSizeFollowsTheCanvas) {
  TExImage image;
  image.LoadFromBytes(Encoded(FourColours(), "BMP"));
  EXPECT_EQ(image.Width(), 2);
  QImage canvas(4, 4, QImage::Format_RGB32);
  canvas.fill(Qt::black);
  {
    TCanvas c(&canvas);
    image.Draw(c, Rect(0, 0, 4, 4));
  }
  EXPECT_EQ(canvas.pixel(0, 0), qRgb(255, 0, 0));
  EXPECT_EQ(canvas.pixel(3, 0), qRgb(0, 255, 0));
  EXPECT_EQ(canvas.pixel(0, 3), qRgb(0, 0, 255));
  EXPECT_EQ(canvas.pixel(3, 3), qRgb(255, 255, 255));

  THTMLPicture picture;
  picture.LoadFromBytes(Encoded(FourColours(), "PNG"));
  QImage natural(8, 8, QImage::Format_RGB32);
  natural.fill(Qt::black);
  natural.setDotsPerMeterX(7559); // 192 pixels per inch: twice the size
  natural.setDotsPerMeterY(7559);
  {
    TCanvas c(&natural);
    picture.Draw(c, Rect(1, 1, 8, 8));
  }
  EXPECT_EQ(natural.pixel(1, 1), qRgb(255, 0, 0));
  EXPECT_EQ(natural.pixel(4, 4), qRgb(255, 255, 255));
  EXPECT_EQ(natural.pixel(5, 5), qRgb(0, 0, 0));
}

TEST(Pictures, SizeIsHimetricAtNinetySixPixelsPerInch) {
  THTMLPicture picture;
  picture.LoadFromBytes(Encoded(QImage(96, 48, QImage::Format_RGB32), "PNG"));
  EXPECT_EQ(picture.HimetricWidth(), 2540);
  EXPECT_EQ(picture.Width(), 96);
  picture.SetWidth(10);
  picture.SetHeight(10);
  EXPECT_EQ(picture.Width(), 96);
  EXPECT_EQ(picture.Height(), 48);
  EXPECT_EQ(picture.AnimationWidth(), 96) << "not a GIF: the picture's own size";
}

TEST(Pictures, JpegDecodesThroughLibjpegAndBadJpegsFailCleanly) {
  QImage source(16, 8, QImage::Format_RGB32);
  source.fill(qRgb(200, 40, 40));
  const QByteArray jpeg = Encoded(source, "JPEG");
  THTMLPicture picture;
  picture.LoadFromBytes(jpeg);
  EXPECT_EQ(picture.Width(), 16);
  EXPECT_NEAR(qRed(picture.Image().pixel(8, 4)), 200, 8);
  // Every truncation decodes partly or fails; none ends the process.
  for (qsizetype n = 3; n < jpeg.size(); n += 7) {
    const QImage partial = DecodeJpeg(jpeg.left(n));
    if (!partial.isNull()) {
      EXPECT_EQ(partial.width(), 16);
    }
  }
  QByteArray corrupt = jpeg;
  for (qsizetype i = 20; i < corrupt.size(); i += 3)
    corrupt[i] = char(0xFF);
  EXPECT_NO_FATAL_FAILURE(DecodeJpeg(corrupt));
}

TEST(Pictures, SavingWritesTheBytesAsLoaded) {
  const QByteArray bmp = Encoded(FourColours(), "BMP");
  TExImage image;
  QBuffer in;
  in.setData(bmp);
  in.open(QIODevice::ReadOnly);
  in.seek(5);
  image.LoadFromStream(&in);
  QByteArray saved;
  QBuffer out(&saved);
  out.open(QIODevice::WriteOnly);
  image.SaveToStream(&out);
  EXPECT_EQ(saved, bmp) << "the whole stream, from its start";
}

TEST(Pictures, AssignCopiesTheSameKindAndDropsEverythingForOthers) {
  const QByteArray png = Encoded(FourColours(), "PNG");
  TExImage a, b;
  a.LoadFromBytes(png);
  int changes = 0;
  b.OnChange = [&](TGraphic *) { ++changes; };
  b.Assign(&a);
  EXPECT_EQ(b.Data(), png);
  EXPECT_EQ(b.Width(), 2);
  EXPECT_EQ(changes, 1);

  THTMLPicture other;
  other.LoadFromBytes(Encoded(QImage(5, 5, QImage::Format_RGB32), "PNG"));
  b.Assign(&other);
  EXPECT_TRUE(b.Empty());
  EXPECT_TRUE(b.Data().isEmpty()) << "no stale bytes to save";
  b.Assign(nullptr);
  EXPECT_EQ(changes, 2);

  THTMLPicture p, q;
  p.LoadFromBytes(Bytes(MakeGif(kThreeFrames)));
  p.SetFrame(3);
  q.Assign(&p);
  EXPECT_EQ(q.Frame(), 1);
  EXPECT_EQ(q.FrameCount(), 3);
  q.Assign(&b);
  EXPECT_TRUE(q.Empty());
  EXPECT_TRUE(q.Data().isEmpty());
}

TEST(HTMLPicture, AddressesLoadFromResourcesAndFilesAndKeepAnUpperCaseIdentityButForFilePaths) {
  kvtest::TempDir dir;
  const QByteArray png = Encoded(FourColours(), "PNG");
  kvtest::WriteFile(dir.file("logo.png"), png.toStdString());
  kvtest::WriteFile(dir.file("MixedCase.png"), png.toStdString());

  THTMLPicture res;
  res.SetModuleInstance(QString::fromStdString(dir.path()));
  res.AssignAddress("res://logo");
  EXPECT_EQ(res.Identity(), "RES://LOGO");
  EXPECT_EQ(res.Width(), 2);

  THTMLPicture file;
  file.AssignAddress("File://" + QString::fromStdString(dir.file("MixedCase.png")));
  EXPECT_FALSE(file.Empty()) << "the path keeps its case";

  THTMLPicture web;
  web.SetAsynchronous(false);
  web.AssignAddress("http://example.org/a.gif");
  EXPECT_EQ(web.Identity(), "HTTP://EXAMPLE.ORG/A.GIF");
  EXPECT_EQ(web.DownloadAddress(), "HTTP://EXAMPLE.ORG/A.GIF");
  EXPECT_TRUE(web.Empty());

  THTMLPicture async;
  async.AssignAddress("http://example.org/a.gif");
  EXPECT_TRUE(async.Busy());
  EXPECT_TRUE(async.Identity().isEmpty());
  EXPECT_TRUE(async.Empty());
}

TEST(Pictures, AStreamWithoutASizeIsReadOnlyUpToTheLimit) {
  // A socket whose writer offers twice the limit: what it got rid of is what was read, plus
  // at most its small send buffer.
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
  const int buffer = 64 << 10;
  setsockopt(pair[1], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
  qint64 written = 0;
  std::thread writer([&] {
    const std::string chunk(64 << 10, '\0');
    while (written < 2 * kMaxPictureFileBytes) {
      const ssize_t n = send(pair[1], chunk.data(), chunk.size(), MSG_NOSIGNAL);
      if (n < 0) break;
      written += n;
    }
    close(pair[1]);
  });
  QFile stream;
  ASSERT_TRUE(stream.open(pair[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
  THTMLPicture picture;
  EXPECT_EQ(kvtest::FailureText<EPictureError>([&] { picture.LoadFromStream(&stream); }), kNoImageMemoryText);
  stream.close(); // the writer's next send fails
  writer.join();
  EXPECT_LE(written, kMaxPictureFileBytes + (4 << 20));
  EXPECT_TRUE(picture.Empty());
}

TEST(PictureContainer, FindsByUpperCaseNameAndOwnsItsPictures) {
  TPictureContainer container;
  EXPECT_EQ(container.FindPicture("LOGO"), nullptr);
  TPictureItem *item = container.Items()->Add();
  item->Name = "Logo";
  item->Tag = 7;
  THTMLPicture source;
  source.LoadFromBytes(Encoded(FourColours(), "PNG"));
  item->SetPicture(&source);
  EXPECT_EQ(container.FindPicture("LOGO"), item->Picture());
  EXPECT_EQ(container.FindPicture("Logo"), nullptr);
  EXPECT_EQ(item->Picture()->Width(), 2);

  TPictureCollection copy;
  copy.Assign(*container.Items());
  ASSERT_EQ(copy.Count(), 1);
  EXPECT_EQ(copy.Items(0)->Tag, 7);
  EXPECT_NE(copy.Items(0)->Picture(), item->Picture());
  EXPECT_THROW(copy.Items(1), std::out_of_range);
  EXPECT_EQ(container.Items()->Owner(), &container);
}

TEST(PictureCache, FindsByExactIdentity) {
  THTMLPictureCache cache("/some/resources");
  EXPECT_EQ(cache.FindPicture("HTTP://X/Y.GIF"), nullptr);
  THTMLPicture *picture = cache.AddPicture();
  EXPECT_EQ(picture->ModuleInstance(), "/some/resources");
  picture->SetAsynchronous(false);
  picture->AssignAddress("http://x/y.gif");
  EXPECT_EQ(cache.FindPicture("HTTP://X/Y.GIF"), picture);
  EXPECT_EQ(cache.FindPicture("http://x/y.gif"), nullptr);
  EXPECT_EQ(cache.GetPicture(0), picture);
  EXPECT_EQ(cache.Count(), 1);
}

} // namespace
