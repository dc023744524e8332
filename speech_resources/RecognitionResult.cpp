#include "speech_resources/RecognitionResult.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>

#include "interpreter/common/PeerLink.h"
#include "interpreter/common/SessionLog.h"
#include "speech_resources/SpeechTexts.h"

bool ParseReplyField(std::string& reply, std::string& key, std::string& value,
                     std::size_t maxValue) {
  const std::size_t colon = reply.find(':');
  if (colon == std::string::npos) return false;
  const std::size_t start = colon + 1;
  const std::size_t end = std::min(reply.find("\t:", start), reply.size());
  const std::string field = reply.substr(start, end - start);
  reply.erase(0, end);

  // With a blank: the key, then the value after it; without: the field less
  // its first character.
  const std::size_t blank = field.find(' ');
  std::size_t valueStart = std::min<std::size_t>(1, field.size());
  if (blank != std::string::npos) {
    key = field.substr(0, std::min(blank, kMaxReplyKey));
    valueStart = blank + 1;
  }
  value = field.substr(valueStart, maxValue);
  return field.size() - valueStart > maxValue;
}

RecognitionResult::RecognitionResult(SessionLog* log, PeerLink& peer) : log_(log), peer_(peer) {}

void RecognitionResult::Reset() {
  utterance.clear();
  interpretation.clear();
  keyed = false;
  confidence = 0;
  noInput = false;
  noMatch = false;
}

void RecognitionResult::TakeField(std::string& reply, std::string& key, std::string& value,
                                  std::size_t maxValue, const char* field) {
  if (!ParseReplyField(reply, key, value, maxValue)) return;
  log_->Error(std::string("Reply field ") + field + " cut to " + std::to_string(maxValue) +
              " characters, the most it may hold");
}

std::string RecognitionResult::Request(const std::string& command) {
  peer_.Send(command);
  std::string reply = peer_.Receive();
  if (PeerAnsweredEnd(reply)) hangUp_ = true;
  return reply;
}

int RecognitionResult::Ask(const std::string& mode, const std::string& /*unused*/) {
  Reset();
  if (mode != "voice") return kNoInput;
  log_->Message("Zber vstupnych udajov (ATK based recognizer)");
  std::string reply = Request("ask:");
  if (PeerAnsweredEnd(reply)) return kHangUp;

  std::string key, spoken, confidenceText, noInputText, semantic;
  TakeField(reply, key, spoken, kMaxReplyValue, "utt");
  TakeField(reply, key, confidenceText, kMaxReplyNumber, "conf");
  TakeField(reply, key, noInputText, kMaxReplyNumber, "noinput");
  TakeField(reply, key, semantic, kMaxReplyValue, "semantic");

  // "nan" or "inf" is no confidence at all: a no-match, never a number to fill with.
  double heard = std::atof(confidenceText.c_str());
  if (!std::isfinite(heard)) heard = 0;
  std::cout << spoken << " [" << confidenceText << "] " << std::flush;
  const int noInputValue = std::atoi(noInputText.c_str());
  noInput = noInputValue == 1;
  log_->Message("CONF: " + confidenceText);
  utterance = spoken;
  interpretation = semantic;
  confidence = heard;

  if (noInput) {
    std::cout << std::endl;
    return kNoInput;
  }
  if (noInputValue == 0 && confidence < kNoMatchThreshold) noMatch = true;
  return 0;
}

void RecognitionResult::LoadGroup() {
  // The bridge answers grammar set-up at once; only "End" is looked at.
  Request("LoadGroup");
}

int RecognitionResult::Record(const std::string& name, const std::string& maxtime,
                              const std::string& dtmfterm) {
  Reset();
  log_->Message(speechtexts::kRecordRequest);
  std::string command =
      "Record:\t:name " + name + "\t:maxtime " + maxtime + "\t:dtmfterm " + dtmfterm;
  if (command.size() > kMaxRecordCommand) {
    log_->Error("Record: command cut to " + std::to_string(kMaxRecordCommand) +
                " characters, the most a request holds");
    command.resize(kMaxRecordCommand);
  }
  return PeerAnsweredEnd(Request(command)) ? kHangUp : 0;
}

std::int8_t RecognitionResult::GetDtmfChar() {
  Reset();
  log_->Message("Zber vstupnych udajov pomocou DTMF");
  std::string reply = Request("GetDTMFch:");
  if (PeerAnsweredEnd(reply)) return kHangUp;

  std::string key, pressed;
  TakeField(reply, key, pressed, kMaxReplyValue, "key");
  dtmfInput = pressed;
  interpretation = pressed;
  keyed = true;
  confidence = 0.99;
  noInput = false;
  return 0;
}
