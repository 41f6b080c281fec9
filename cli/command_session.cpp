#include "cli/command_session.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "workbook/platform_files.h"

namespace flovir::cli {

namespace {

constexpr const char* kOpenFailed = PortNoticeText(PortNotice::OpenFailed);

std::atomic<bool> interrupted{false};

void OnInterrupt(int) {
  interrupted = true;
}

// Trace lines as they come, from the exchange thread; stdio locks each call.
class StderrTrace : public ExchangeTrace {
 public:
  explicit StderrTrace(bool times) : times_(times) {}
  void Append(const std::string& line) override { std::fprintf(stderr, "%s\n", line.c_str()); }
  void AppendTimed(const std::string& line, const FrameTime& time) override {
    Append(times_ ? TimedTraceLine(line, time) : line);
  }

 private:
  bool times_;
};

// A folder named on the command line is made when missing, as a user
// expects of an output folder.
bool MakeFolder(const std::string& folder) {
  std::error_code error;
  const std::filesystem::path path = PathFromUtf8(folder);
  if (folder.empty() || std::filesystem::is_directory(path) ||
      std::filesystem::create_directories(path, error)) {
    return true;
  }
  std::fprintf(stderr, "Не удалось создать папку %s\n%s\n", folder.c_str(),
               error.message().c_str());
  return false;
}

}  // namespace

void TerminalView::ShowStatus(const std::string& text) {
  last_status_ = text;
  if (echo_) status_.Show(text);
}

void TerminalView::ShowPortNotice(PortNotice notice) {
  last_status_ = PortNoticeText(notice);
}

void TerminalView::ShowProgress(const std::string& text, int percent) {
  last_status_ = text;
  if (echo_) status_.Show(text, percent);
}

void TerminalView::ShowMessage(const std::string& title, const std::string& text, MessageIcon) {
  if (!echo_) return;
  status_.End();
  // One line says it after the title; a modem's report goes line by line.
  const std::vector<std::string> lines = MessageLines(text);
  if (lines.size() == 1) {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    return;
  }
  std::fprintf(stderr, "%s:\n", title.c_str());
  for (const std::string& line : lines) std::fprintf(stderr, "%s\n", line.c_str());
}

void TerminalView::SetReport(ReportKind, const std::vector<std::string>& lines) {
  status_.End();
  if (!print_reports_) return;
  for (const std::string& line : lines) std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

void TerminalView::AppendTestLine(const std::string& line) {
  SetReport(ReportKind::Test, {line});
}

bool Interrupted() {
  return interrupted;
}

void CatchInterrupt() {
  interrupted = false;
  std::signal(SIGINT, OnInterrupt);
}

CommandSession::CommandSession(const GlobalOptions& options) : options_(options) {
  if (options.line.trace || options.line.trace_times) {
    trace_ = std::make_unique<StderrTrace>(options.line.trace_times);
  }
  SessionOptions session;
  session.trace = trace_.get();
  session.program_folder = options.folder;
  session_ = std::make_unique<Session>(view_, clock_, std::move(session));
}

CommandSession::~CommandSession() {
  // A modem line prints "Закрытие соединения..." and the hang-up's box.
  view_.SetEcho(ModemLine());
  if (options_.line.stats && session_->Connected()) {
    session_->Stop();
    PrintStatistics();
  }
  session_.reset();
  history_.reset();
  store_.reset();
  view_.EndStatusLine();
}

void CommandSession::PrintStatistics() {
  view_.EndStatusLine();
  const LineStatisticsSnapshot s = session_->Statistics().Snapshot();
  std::fprintf(stderr, "Статистика обмена:\n");
  for (const std::string& line : StatisticsLines(s)) std::fprintf(stderr, "  %s\n", line.c_str());
  for (const std::string& line : StatisticsAdvice(s, options_.line.settings.answer_timeout_ms)) {
    std::fprintf(stderr, "  %s\n", line.c_str());
  }
}

bool CommandSession::ModemLine() const {
  const ConnectionType type = options_.line.settings.type;
  return type == ConnectionType::Gsm || type == ConnectionType::DialUp;
}

bool CommandSession::Open(LineUse use) {
  if (!MakeFolder(options_.folder)) return false;
  Settings settings = options_.line.settings;
  const bool network = settings.type == ConnectionType::TcpIp;
  if (options_.line.demo) {
    (network ? settings.host : settings.port_name) = kDemoPortName;
  } else if (network && settings.host.empty()) {
    std::fprintf(stderr,
                 "Не удалось подключиться\nno address given: use --host HOST:PORT or --demo\n");
    return false;
  } else if (!network && settings.port_name.empty()) {
    std::fprintf(stderr, "%s\nno port given: use --port NAME or --demo\n", kOpenFailed);
    return false;
  }
  view_.SetEcho(ModemLine());
  if (session_->Start(settings, use)) {
    // From here Ctrl-C cancels the request and hangs up; before, it ends the
    // program at once (a call being dialled, a modem setup).
    interrupted = false;
    if (use == LineUse::Requests) {
      std::signal(SIGINT, OnInterrupt);
      OpenHistory();
    }
    return true;
  }
  view_.EndStatusLine();
  if (network && !options_.line.demo) std::fprintf(stderr, "%s\n", view_.LastStatus().c_str());
  if (!session_->OpenError().empty()) {
    std::fprintf(stderr, "%s\n%s\n", kOpenFailed, session_->OpenError().c_str());
  }
  return false;
}

void CommandSession::OpenHistory() {
  if (options_.no_history) return;
  const std::string path = !options_.history.empty()
                               ? options_.history
                               : GetDispatcher().ProgramFolder() + "/" + history::kHistoryFileName;
  auto warn = [this](const std::string& text) {
    view_.EndStatusLine();
    std::fprintf(stderr, "%s\n", text.c_str());
  };
  try {
    store_ = history::OpenHistoryStore(path);
  } catch (const std::exception& error) {
    warn(std::string(error.what()) + ". История не ведётся; файлы сохраняются как обычно");
    return;
  }
  // Named as the user named the line ("demo", not the pseudo-terminal the
  // demo happens to get), so that the next run finds the same meter.
  Settings named = options_.line.settings;
  if (options_.line.demo) {
    (named.type == ConnectionType::TcpIp ? named.host : named.port_name) = kDemoPortName;
  }
  history_ = std::make_unique<history::MeterHistory>(
      *store_, history::IdentityOf(options_.meter, named), clock_, warn);
  GetDispatcher().SetHistory(history_.get());
}

bool CommandSession::Run(const std::function<bool(Session&)>& start) {
  view_.SetEcho(true);
  const bool ok = start(*session_) && session_->RunToEnd(Interrupted);
  view_.SetEcho(ModemLine());
  return ok;
}

void CommandSession::PrintStatus(bool to_stdout) {
  view_.EndStatusLine();
  std::fprintf(to_stdout ? stdout : stderr, "%s\n", session_->LastStatusText().c_str());
}

}  // namespace flovir::cli
