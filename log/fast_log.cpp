#include "log/fast_log.h"

namespace kv::logging {

TFastLog::TFastLog(platform::SystemInfo *source)
    : writer_(std::make_unique<TFastLogWriter>()), parser_(std::make_unique<TFastLogParser>(source)) {
  parser_->SetWriter(writer_.get());
  TFLErrorSettings &error = parser_->ErrorSettings();
  error.BlankLines = true;
  error.SetErrorFillChar("•");
  error.SetErrorTitle("•••    E R R O R    •••");
  error.Style = 1;
  header_ = {"{/}{LNumOff}{*80*}", ">>>> Start {App_name}  v {App_ver}{80@}{&}{dte} {hms}{&}",
             "{@12}From : {App_path}", "{@12}Prms : {App_prm-}{/}"};
  footer_ = {"{LNumOff}", "<<<< Stop  {App_name}{80@}{&}{dte} {hms}{&}", "{*80*}{/}"};
}

TFastLog::~TFastLog() {
  try {
    // The parser first: everything it sends reaches the writer's queue before the writer's quit.
    parser_->Shutdown();
    writer_->Shutdown();
  } catch (...) {
  }
}

bool TFastLog::StartLogging() {
  if (started_) return writer_->FileOpen();
  // Both queues accept before either thread runs, so nothing sent from now on is lost.
  writer_->OpenQueue();
  parser_->OpenQueue();
  parser_->Resume();
  writer_->Resume();
  const bool open = writer_->WaitUntilOpen();
  started_ = true;
  return open;
}

void TFastLog::PostRequest(int64_t kind, std::unique_ptr<MessageObject> object) {
  // Refused (and the object freed) before the start and once the parser has ended.
  parser_->Post(WM_FL_PARSE, kind, 0, std::move(object));
}

void TFastLog::Add(const std::string &text) {
  try {
    PostRequest(hrTaggedText, std::make_unique<TFLStringMsg>(text));
  } catch (...) {
  }
}

void TFastLog::AddStrings(const std::vector<std::string> &list) {
  try {
    std::unique_ptr<TFLStrings> copy;
    try {
      copy = std::make_unique<TFLStrings>(list);
    } catch (...) {
      PostRequest(hrPlainText, std::make_unique<TFLStringMsg>("#FL_Invalid_TSList"));
      return;
    }
    PostRequest(hrTaggedStrings, std::move(copy));
  } catch (...) {
  }
}

void TFastLog::SetTurnPause(std::chrono::milliseconds pause) {
  parser_->SetTurnPause(pause);
  writer_->SetTurnPause(pause);
}

void TFastLog::SetStopSource(const std::atomic<bool> *stop) {
  writer_->FileDef().StopSource = stop;
}

bool TFastLog::Finish(std::chrono::milliseconds stall) {
  // Asked to stop, nobody waits for the pace of the turns: what is queued goes out at once.
  const std::atomic<bool> *stop = writer_->FileDef().StopSource;
  const auto unpace = [this, stop] {
    if (stop && stop->load()) SetTurnPause(std::chrono::milliseconds(0));
  };
  using Phase = TFastLogThread::TPhase;
  stalled_ = {};
  try {
    // The parser first: everything it sends reaches the writer's queue before the writer's quit.
    if (parser_->ShutdownUnlessStalled(stall, stall, unpace) != Phase::Ended) {
      stalled_ = {TLogStall::Parser, stall};
      return false;
    }
    const std::chrono::milliseconds closing = writer_->FileDef().FolderLockWait + stall;
    switch (writer_->ShutdownUnlessStalled(stall, closing, unpace)) {
    case Phase::Ended:
      return true;
    case Phase::BeforeLoop:
      stalled_ = {TLogStall::Open, stall};
      break;
    case Phase::Loop:
      stalled_ = {TLogStall::Write, stall};
      break;
    case Phase::AfterLoop:
      stalled_ = {TLogStall::Close, closing};
      break;
    }
  } catch (...) {
  }
  return false;
}

namespace {
std::atomic<TFastLog *> g_log{nullptr};
} // namespace

TFastLog *GlobalLog() {
  return g_log.load();
}

void CreateGlobalLog() {
  if (g_log.load()) return;
  g_log.store(new TFastLog());
}

void DestroyGlobalLog() {
  TFastLog *log = g_log.exchange(nullptr);
  try {
    delete log;
  } catch (...) {
  }
}

} // namespace kv::logging
