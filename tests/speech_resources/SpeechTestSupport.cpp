#include "tests/speech_resources/SpeechTestSupport.h"

#include <gtest/gtest.h>

namespace speechtest {
namespace {

EcmaScopes* scopes = nullptr;

class ScopesEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    scopes = new EcmaScopes();
    scopes->CreateSessionScopes();
  }
  void TearDown() override {
    delete scopes;
    scopes = nullptr;
  }
};

const ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new ScopesEnvironment);

}  // namespace

EcmaScopes& SharedScopes() { return *scopes; }

}  // namespace speechtest
