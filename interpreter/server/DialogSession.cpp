#include "interpreter/server/DialogSession.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <vector>

#include "interpreter/common/FatalExit.h"
#include "interpreter/executors/CurrentDocument.h"
#include "platform/LocalPath.h"

namespace fs = std::filesystem;

const char DialogSession::kDefaultDialogLog[] = "Quorvane\\DiaLOG.txt";
const char DialogSession::kDefaultMainLog[] = "Quorvane\\BaseLOG.txt";

namespace {

const char kRawFile[] = "temp.raw";
const char kArchiveFolder[] = "log_data";
const char kSendFailure[] = "Problem s odeslanim dat";

// The archive name's stem for a log: its file name without the extension.
std::string ArchiveId(const std::string& logPath) {
  return fs::path(platform::LocalPath(logPath)).stem().string();
}

struct ArchiveCopy {
  std::string original;  // local path
  std::string id;
  std::string extension;
  bool copied = false;

  fs::path Target(const std::string& stamp) const {
    return fs::path(kArchiveFolder) / (id + "__" + stamp + extension);
  }
};

// The time stamp with the first suffix under which no copy exists yet.
std::string FreeStamp(const std::vector<ArchiveCopy>& copies) {
  std::string stamp = SessionLog::TimeString();
  std::replace(stamp.begin(), stamp.end(), ':', '_');
  for (int suffix = 0;; ++suffix) {
    std::string candidate = suffix == 0 ? stamp : stamp + "_" + std::to_string(suffix);
    bool taken = std::any_of(copies.begin(), copies.end(), [&](const ArchiveCopy& copy) {
      std::error_code ignored;
      return fs::exists(copy.Target(candidate), ignored);
    });
    if (!taken) return candidate;
  }
}

}  // namespace

DialogSession::DialogSession(PeerLink& peer, DialogueFactory makeDialogue)
    : peer_(peer), makeDialogue_(std::move(makeDialogue)) {}

void DialogSession::Begin() {
  quorvane::SetStopHook([this] { EndDialogue(); });
  mainLog_ = std::make_unique<SessionLog>(mainLogPath_);
  dialogLog_ = std::make_unique<SessionLog>(dialogLogPath_);
  std::cout << "Created log files" << std::endl;
  std::ofstream(kRawFile, std::ios::binary | std::ios::trunc);
  dialogue_ = makeDialogue_(*mainLog_, *dialogLog_);
  mainLog_->Message("Name of browse file: " + quorvane::CurrentDocument() + "\n");
}

int DialogSession::StartDialog() {
  stopped_ = false;
  std::cout << "---------------------------------> START\n" << std::flush;
  if (dialogue_) dialogue_->Run();
  if (mainLog_) mainLog_->Message("End of DIALOG\n");
  return 0;
}

void DialogSession::StopDialog() {
  if (stopped_) {
    std::cout << "Pokus o opatovne zavolanie funkcie StopDialog...ignorovane!!!" << std::endl;
    return;
  }
  EndDialogue();
  std::exit(0);
}

void DialogSession::EndDialogue() {
  quorvane::SetStopHook({});
  std::cout << "Stop dialog called" << std::endl;
  if (dialogue_) dialogue_->Stop();
  if (mainLog_) {
    mainLog_->Message("End of DIALOG\n\t" + SessionLog::TimeString());
  }
  // A peer that has closed the link is not told; a send that fails is noted
  // and the archive goes on.
  if (!peer_.Closed() && !peer_.TrySend("Koniec dialogu")) {
    std::cerr << kSendFailure << std::endl;
    if (mainLog_) mainLog_->Error(kSendFailure);
  }
  // Everything that writes to the logs is gone before they are archived: the
  // dialogue's closing lines and the footers are part of the archive.
  dialogue_.reset();
  dialogLog_.reset();
  mainLog_.reset();
  ArchiveLogs();
  std::cout << "----------------------------------> END\n" << std::flush;
  stopped_ = true;
}

void DialogSession::ArchiveLogs() {
  std::error_code error;
  fs::create_directories(kArchiveFolder, error);
  std::string dialogId = ArchiveId(dialogLogPath_);
  std::vector<ArchiveCopy> copies = {
      {platform::LocalPath(dialogLogPath_), dialogId, ".txt"},
      {kRawFile, dialogId, ".raw"},
      {platform::LocalPath(mainLogPath_), ArchiveId(mainLogPath_), ".log"},
  };
  std::string stamp = FreeStamp(copies);
  for (ArchiveCopy& copy : copies) {
    copy.copied = fs::copy_file(copy.original, copy.Target(stamp), error);
    if (!copy.copied) {
      std::cerr << "Cannot archive " << copy.original << ": " << error.message() << std::endl;
    }
  }
  for (const ArchiveCopy& copy : copies) {
    if (copy.copied) fs::remove(copy.original, error);
  }
}
