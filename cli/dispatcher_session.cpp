#include "cli/dispatcher_session.h"

#include <cstdio>

#include "operations/report_files.h"

namespace flovir::cli {

bool DispatcherSession::Open(const LineOptions& line, const std::string& folder) {
  link_ = CliLine::Open(line);
  if (!link_) return false;
  dispatcher_.Settings() = line.settings;
  dispatcher_.SetProgramFolder(ProgramFolder(folder));
  link_->SetCompleted([this] { dispatcher_.ExchangeCompleted(); });
  dispatcher_.SetThread(&link_->Thread(), &link_->Request());
  return true;
}

void DispatcherSession::Close() {
  dispatcher_.SetThread(nullptr);
  link_.reset();
}

bool DispatcherSession::RunUntilIdle(int timeout_ms) {
  return link_->Executor().RunUntil([this] { return !dispatcher_.Busy(); }, timeout_ms);
}

void DispatcherSession::PrintStatus() const {
  std::printf("%s\n", dispatcher_.LastStatusText().c_str());
}

}  // namespace flovir::cli
