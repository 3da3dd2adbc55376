// Application object, message boxes, the Qt dispatcher and the stop signals. The binary's
// QApplication comes from qt_application.h.
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QMessageBox>
#include <QPainter>
#include <QTextEdit>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

#include "modal_driver.h"
#include "platform/system.h"
#include "platform/ui/application.h"
#include "platform/ui/message_box.h"
#include "platform/ui/qt_dispatcher.h"
#include "platform/ui/termination_signals.h"
#include "qt_application.h"
#include "test_support.h"

using namespace kv::ui;

namespace {

bool ProcessUntil(const std::function<bool()> &done) {
  return kvtest::WaitUntil([&] {
    QCoreApplication::processEvents();
    return done();
  });
}

} // namespace

TEST(Application, KeepsTitleAndHelpFileAndKnowsItsDirectory) {
  Application().SetTitle("Korvane 2005");
  Application().SetHelpFile(Application().ProgramDirectory() + "korvan.hlp");
  EXPECT_EQ(Application().Title(), "Korvane 2005");
  EXPECT_TRUE(Application().HelpFile().endsWith("/korvan.hlp"));
  EXPECT_EQ(Application().ProgramDirectory(), QCoreApplication::applicationDirPath() + "/");
  EXPECT_TRUE(IsHeadless()) << "the tests run on the offscreen platform";
}

TEST(Application, DisplayChoiceHonoursThePlatformAndOnlyDisplaysThatAnswer) {
  const char *names[4] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR"};
  QByteArray saved[4];
  for (int i = 0; i < 4; ++i) {
    saved[i] = qgetenv(names[i]);
    unsetenv(names[i]);
  }
  EXPECT_EQ(ChooseDisplay(false), DisplayChoice::Missing);
  EXPECT_FALSE(qEnvironmentVariableIsSet("QT_QPA_PLATFORM"));
  EXPECT_TRUE(NoDisplayMessage("korvan").contains("weder DISPLAY noch WAYLAND_DISPLAY ist gesetzt"));
  EXPECT_EQ(ChooseDisplay(true), DisplayChoice::Offscreen);
  EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), "offscreen");
  EXPECT_EQ(ChooseDisplay(false), DisplayChoice::Display) << "a platform named by the user is taken as it is";
  unsetenv("QT_QPA_PLATFORM");

  // A compositor is a socket in the runtime folder that accepts connections.
  kvtest::TempDir runtime;
  setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
  setenv("WAYLAND_DISPLAY", "wayland-7", 1);
  EXPECT_FALSE(WaylandAnswers("wayland-7"));
  EXPECT_EQ(ChooseDisplay(false), DisplayChoice::Missing);
  const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s/wayland-7", runtime.path().c_str());
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 4), 0);
  EXPECT_EQ(ChooseDisplay(false), DisplayChoice::Display);
  EXPECT_TRUE(WaylandAnswers(QString::fromStdString(runtime.path() + "/wayland-7")))
      << "an absolute name is a path";
  ::close(listener);
  unsetenv("WAYLAND_DISPLAY");

  // An X display that nobody serves (a stale DISPLAY under cron): Qt would abort on it, so the
  // automatic mode runs offscreen and the window says what is wrong.
  setenv("DISPLAY", ":7319", 1);
  EXPECT_FALSE(XServerAnswers(":7319"));
  EXPECT_EQ(ChooseDisplay(false), DisplayChoice::Missing);
  EXPECT_TRUE(NoDisplayMessage("korvan").contains("DISPLAY=:7319 ist gesetzt, aber dort antwortet keine"));
  EXPECT_EQ(ChooseDisplay(true), DisplayChoice::Offscreen);
  for (int i = 0; i < 4; ++i) {
    if (saved[i].isNull())
      unsetenv(names[i]);
    else
      setenv(names[i], saved[i].constData(), 1);
  }
  EXPECT_TRUE(NoDisplayMessage("korvan").contains("korvan /a"));
}

// An X server with no screens, on an abstract socket: it answers the set-up of one client and
// keeps the connection until the client closes it.
class ScreenlessXServer {
public:
  ScreenlessXServer() {
    for (int n = 7300; n < 7400 && listener_ < 0; ++n) {
      const std::string name = "/tmp/.X11-unix/X" + std::to_string(n);
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      std::memcpy(address.sun_path + 1, name.data(), name.size());
      const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size());
      const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
      if (::bind(fd, reinterpret_cast<sockaddr *>(&address), length) == 0 && ::listen(fd, 1) == 0) {
        listener_ = fd;
        number_ = n;
      } else {
        ::close(fd);
      }
    }
    server_ = std::thread([this] {
      client_ = ::accept(listener_, nullptr, nullptr);
      char request[12]; // from a little-endian client that sends no authorisation
      if (::recv(client_, request, sizeof request, MSG_WAITALL) != sizeof request) return;
      // Accepted, protocol 11.0, 8 words follow, all zero: no screens, formats or vendor.
      const unsigned char reply[40] = {1, 0, 11, 0, 0, 0, 8, 0};
      ::send(client_, reply, sizeof reply, MSG_NOSIGNAL);
      while (::recv(client_, request, sizeof request, 0) > 0) {
      }
    });
  }
  ~ScreenlessXServer() {
    ::shutdown(listener_, SHUT_RDWR); // a server nobody came to stops waiting
    server_.join();
    ::close(listener_);
    if (client_ >= 0) ::close(client_);
  }
  QString Display() const { return QStringLiteral(":%1").arg(number_); }

private:
  int number_ = 0;
  int listener_ = -1;
  int client_ = -1;
  std::thread server_;
};

TEST(Application, AnXServerAnswersOnlyThroughALibraryThatLoads) {
  kvtest::ScopedEnv no_cookies("XAUTHORITY", "/nonexistent");
  ScreenlessXServer server;
  EXPECT_FALSE(XServerAnswers(server.Display(), "libkorvane-none.so.1"));
  EXPECT_FALSE(XServerAnswers(server.Display(), "libm.so.6")) << "a library without the functions";
  EXPECT_TRUE(XServerAnswers(server.Display()));
}

TEST(MessageBox, CaptureRecordsBoxesAndAnswersThemInTurn) {
  MessageBoxCapture capture;
  capture.SetNextAnswer(MessageAnswer::No);
  EXPECT_EQ(ShowMessage(nullptr, {"Soll das Update jetzt durchgeführt werden?", "Frage",
                                  MessageIcon::Question, MessageButtons::YesNo, MessageAnswer::Yes}),
            MessageAnswer::No);
  ShowError(nullptr, "Der Server x konnte nicht erreicht werden.");
  ShowWarning(nullptr, "Bitte wählen Sie zuerst eine DFÜ-Verbindung aus oder legen Sie eine an.");
  ShowInformation(nullptr, "Es ist keine neue Version verfügbar!");
  ASSERT_EQ(capture.Shown().size(), 4u);
  EXPECT_EQ(capture.Shown()[1].caption, "Fehler");
  EXPECT_EQ(capture.Shown()[1].icon, MessageIcon::Error);
  EXPECT_EQ(capture.Shown()[2].caption, "Fehler");
  EXPECT_EQ(capture.Shown()[2].icon, MessageIcon::Warning);
  EXPECT_EQ(capture.Shown()[3].caption, "Informationen");
}

TEST(MessageBox, AWordTooLongForALineBreaksAnywhereAndTheTextCopiesAsItIs) {
  // Where a download was kept: a 243-character name must wrap, not widen the box past the screen
  // and lose its end, and a user copies it as it is. A box that breaks its lines itself (around
  // parts that stay whole) copies its blanks too.
  const QString path = "/tmp/korvane-update-x/" + QString(240, 'n') + ".sh";
  const QString words = QString("Wort ").repeated(40) + "dann kvnsched --remove";
  for (const MessageRequest &request : {MessageRequest{"Übertragen nach:\r\n" + path, "Informationen"},
                                        MessageRequest{words,
                                                       "Frage",
                                                       MessageIcon::None,
                                                       MessageButtons::Ok,
                                                       MessageAnswer::Ok,
                                                       {"kvnsched --remove"}}}) {
    auto box = MakeMessageBox(nullptr, request);
    box->show();
    QCoreApplication::processEvents();
    auto *text = box->findChild<QTextEdit *>("kvBoxText");
    ASSERT_TRUE(text && text->isVisible());
    EXPECT_LT(text->width(), 400);
    EXPECT_GT(text->height(), 3 * text->fontMetrics().lineSpacing()) << "it wraps";
    EXPECT_LE(text->document()->size().height(), text->height()) << "nothing cut off";
    EXPECT_TRUE(text->textInteractionFlags() & Qt::TextSelectableByMouse);
    text->selectAll();
    text->copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString(request.text).replace("\r\n", "\n"));
  }
}

TEST(MessageBox, TheFirstLineKeepsTheAccentsOverItsCapitals) {
  // Rows with ink in the first `width` columns of a picture.
  const auto inkRows = [](const QImage &image, int width) {
    int rows = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < width; ++x)
        if (qGray(image.pixel(x, y)) < 128) {
          ++rows;
          break;
        }
    return rows;
  };
  auto box = MakeMessageBox(nullptr, {"Ü", "Informationen"});
  box->show();
  QCoreApplication::processEvents();
  auto *text = box->findChild<QTextEdit *>("kvBoxText");
  ASSERT_TRUE(text);
  QImage drawn(60, 60, QImage::Format_RGB32);
  drawn.fill(Qt::white);
  QPainter painter(&drawn);
  painter.setFont(text->font());
  painter.drawText(10, 40, "Ü");
  painter.end();
  const QImage shown = box->grab(text->geometry()).toImage();
  EXPECT_EQ(inkRows(shown, text->fontMetrics().horizontalAdvance("Ü")), inkRows(drawn, drawn.width()));
}

// A box shown while a task blocks under the wait cursor asks for a click: it waits with the
// usual pointer, and the wait cursor is back when it closes.
TEST(MessageBox, ABoxWaitsWithTheUsualPointerAndTheWaitCursorComesBackAfterIt) {
  RealMessageBoxes real;
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  bool usual = false;
  kvtest::ModalDriver answer([&](QDialog &box) {
    usual = QGuiApplication::overrideCursor() == nullptr;
    box.accept();
    return true;
  });
  ShowError(nullptr, "Der Server x konnte nicht erreicht werden.");
  EXPECT_FALSE(answer.TimedOut());
  EXPECT_TRUE(usual);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  QGuiApplication::restoreOverrideCursor();
}

TEST(MessageBox, WithoutADisplayTheTextGoesToStandardErrorAndTheDefaultIsReturned) {
  fflush(stderr);
  int saved = dup(2);
  kvtest::TempDir dir;
  std::FILE *out = std::fopen(dir.file("err").c_str(), "w");
  dup2(fileno(out), 2);
  MessageAnswer a = ShowMessage(nullptr, {"Zeile 1\r\nZeile 2", "Frage", MessageIcon::Question,
                                          MessageButtons::YesNo, MessageAnswer::No});
  fflush(stderr);
  dup2(saved, 2);
  close(saved);
  std::fclose(out);
  EXPECT_EQ(a, MessageAnswer::No);
  EXPECT_EQ(kvtest::ReadFile(dir.file("err")), kv::platform::ProgramName() + ": Frage: Zeile 1\nZeile 2\n");
}

TEST(QtDispatcher, RunsPostsFromOtherThreadsOnTheGuiThreadInOrderAndRefusesAfterClose) {
  std::vector<int> seen;
  std::vector<std::thread::id> threads;
  {
    QtDispatcher d;
    std::thread worker([&] {
      for (int i = 0; i < 50; ++i)
        d.Post([&, i] {
          seen.push_back(i);
          threads.push_back(std::this_thread::get_id());
        });
    });
    worker.join();
    ASSERT_TRUE(ProcessUntil([&] { return seen.size() == 50; }));
    d.Post([&] { seen.push_back(-1); });
    d.Close();
    EXPECT_FALSE(d.Post([&] { seen.push_back(-2); }));
    QCoreApplication::processEvents();
  }
  QCoreApplication::processEvents();
  ASSERT_EQ(seen.size(), 51u);
  EXPECT_EQ(seen.back(), -1);
  for (int i = 0; i < 50; ++i)
    EXPECT_EQ(seen[i], i);
  for (auto id : threads)
    EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(QtDispatcher, TasksQueuedWhenItIsDestroyedAreDropped) {
  bool ran = false;
  {
    QtDispatcher d;
    EXPECT_TRUE(d.Post([&] { ran = true; }));
  }
  QCoreApplication::processEvents();
  EXPECT_FALSE(ran);
}

TEST(TerminationSignals, EachSignalClosesTheWindowOnTheGuiThreadOnce) {
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    QWidget window;
    window.show();
    QDialog modal(&window);
    modal.setModal(true);
    modal.show();
    std::vector<int> received;
    {
      TerminationSignals stop([&](int s) {
        received.push_back(s);
        CloseLikeCloseBox(&window);
      });
      ::raise(sig);
      ::raise(sig); // a second one before the first is handled counts once
      ASSERT_TRUE(ProcessUntil([&] { return !received.empty(); })) << sig;
      QCoreApplication::processEvents();
    }
    EXPECT_EQ(received, std::vector<int>{sig});
    EXPECT_FALSE(modal.isVisible());
    EXPECT_FALSE(window.isVisible());
  }
}
