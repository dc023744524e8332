// The form client against a fake HTTP server on loopback, and <submit> in a
// whole dialogue.
#include "interpreter/executors/WebForm.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/interpreter/executors/InterpreterTestSupport.h"
#include "tests/support/CaptureStdout.h"
#include "tests/support/FakeHttpServer.h"
#include "tests/support/FreePort.h"

namespace interpretertest {
namespace {

using testsupport::FakeHttpServer;
using Kind = FakeHttpServer::Kind;
using Strings = std::vector<std::string>;

// The 14 lower-case letters a-acute ... z-caron go into a URL as they are;
// C-caron, S-caron and every byte but ASCII letters and digits are encoded.
const std::string kLetters = "Az09\xE8\xE1\xEF\xE9\xED\xBE\xF2\xF3\xF4\x9A\x9D\xFA\xFD\x9E";
const std::string kOthers = " .-\n\xC8\x8A";

std::string Head(const std::string& url, const std::string& query) {
  return "GET /cgi/form.cgi?" + query + " HTTP/1.0\r\nUser-Agent: WebForm 1\r\nHost: " +
         url.substr(7) + "\r\n\r\n";
}

// The body read, "false" and the reply kept, or the failure; names and values
// alternate. The whole reply must arrive within readMs.
std::string Submit(const std::string& host, const Strings& pairs, int readMs = 300) {
  WebForm form(platform::HttpTimeouts{2000, readMs});
  form.SetHost(host + "/cgi");
  form.SetScriptFile("/form.cgi");
  std::string reply = "kept";
  try {
    for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) form.PutVariable(pairs[i], pairs[i + 1]);
    form.SendRequest();
    return form.GetResponse(&reply, 10000) ? reply : "false " + reply;
  } catch (const openutils::WebFormException& failure) {
    return failure.what();
  }
}

TEST(WebFormTest, SendsOneGetAndReadsTheWholeBody) {
  const std::string body("<vxml>\r\n\0</vxml>", 16);
  const std::string full(10000, 'x');
  // The stall outlasts the read time-out.
  const std::tuple<Kind, int, std::string, std::string> table[] = {
      {Kind::kAnswer, 200, body, body}, {Kind::kAnswer, 404, "none", "none"},
      {Kind::kAnswer, 200, full, full}, {Kind::kAnswer, 200, full + "x", "Buffer overflow !"},
      {Kind::kClose, 200, "", "false kept"}, {Kind::kStall, 200, "", "false kept"}};
  for (const auto& [kind, status, reply, outcome] : table) {
    FakeHttpServer server(kind, status, reply);
    EXPECT_EQ(Submit(server.Url(), {"city", "Nitra", "day", kOthers + kLetters}), outcome);
    EXPECT_EQ(server.Requests(),
              Strings{Head(server.Url(), "city=Nitra&day=+%2e%2d%0a%c8%8a" + kLetters)});
  }
  // A header of at most 65536 bytes, its blank line included, however it is
  // cut (65536 sends of a byte may take long on a loaded machine).
  const std::tuple<std::size_t, std::size_t, std::string> headers[] = {
      {65536, 16384, "body"}, {65536, 1, "body"},
      {66028, 16384, "false kept"}, {66028, 1, "false kept"}};
  for (const auto& [size, piece, outcome] : headers) {
    const std::string head = "HTTP/1.0 200 OK\r\nX: ";
    FakeHttpServer server(head + std::string(size - head.size() - 4, 'h') + "\r\n\r\nbody", piece);
    EXPECT_EQ(Submit(server.Url(), {}, 30000), outcome) << size << " in pieces of " << piece;
  }
  for (char c : kLetters) EXPECT_TRUE(IsUrlLetter(c)) << c;
  for (char c : kOthers) EXPECT_FALSE(IsUrlLetter(c)) << c;
  const std::string refused = "http://127.0.0.1:" + std::to_string(testsupport::FreePort());
  for (const std::string& host : {refused, refused + "/a b", std::string("ftp://127.0.0.1")}) {
    EXPECT_EQ(Submit(host, {}), "Error:- InternetOpenUrl()") << host;
  }
  EXPECT_EQ(Submit(refused, {"city", "x", "City", "y"}), "Duplicate variable name - City");
}

// No method and a duplicate name send nothing; empty names are skipped and
// "next" wins over "expr".
TEST_F(InterpreterTest, SubmitSendsTheNamelistAndKeepsTheReplyBody) {
  FakeHttpServer server(Kind::kAnswer, 200, "<vxml>\n</vxml>");
  FakeHttpServer silent(Kind::kClose);
  const std::string url = server.Url() + "/cgi/form.cgi";
  WriteDocument("start.vxml", "<form id=\"f\">\n<var name=\"city\" expr=\"'Nitra'\"/>\n"
                              "<var name=\"day\" expr=\"'po 1.'\"/>\n<block>\n"
                              "<submit method=\"get\" expr=\"'" + silent.Url() +
                              "/cgi/form.cgi'\"/>\n<submit namelist=\"city\" next=\"" + url +
                              "\"/>\n<submit method=\"get\" namelist=\"city City\" next=\"" +
                              url + "\"/>\n<submit method=\"get\" namelist=\" city  day\" "
                              "next=\"" + url + "\" expr=\"'http://0.0.0.0/'\"/>\n"
                              "<prompt>Sent.</prompt>\n</block>\n</form>\n");
  RunDialogue("start.vxml");
  EXPECT_EQ(server.Requests(), Strings{Head(server.Url(), "city=Nitra&day=po+1%2e")});
  EXPECT_EQ(silent.Requests(), Strings{Head(silent.Url(), "")});
  EXPECT_EQ(testsupport::ReadFile(Interpreter::kSubmitReplyFile), "<vxml>\n</vxml>");
  EXPECT_EQ(HeardTexts(), Strings{"Sent."});
  EXPECT_EQ(CountOf(MainLog(), "ERROR :Only GET method is allowed by submit element"), 1);
}

// A reply too long, or none at all: the file of an earlier reply goes.
TEST_F(InterpreterTest, SubmitWithoutAReplyRemovesTheEarlierReplyFile) {
  FakeHttpServer tooLong(Kind::kAnswer, 200, std::string(10001, 'x'));
  FakeHttpServer silent(Kind::kClose);
  std::filesystem::create_directories("Quorvane/temp");
  std::ofstream(Interpreter::kSubmitReplyFile) << "<vxml>\n</vxml>";
  WriteDocument("start.vxml", "<form id=\"f\">\n<block>\n<submit method=\"get\" next=\"" +
                                  tooLong.Url() + "/cgi/form.cgi\"/>\n<submit method=\"get\" "
                                  "next=\"" + silent.Url() + "/cgi/form.cgi\"/>\n"
                                  "</block>\n</form>\n");
  testsupport::CaptureStdout console;
  RunDialogue("start.vxml");
  EXPECT_EQ(CountOf(console.Take(), "Buffer overflow !\nThe submit has no reply: " +
                                        std::string(Interpreter::kSubmitReplyFile) +
                                        " is removed\n"), 1);
  EXPECT_FALSE(std::filesystem::exists(Interpreter::kSubmitReplyFile));
  EXPECT_EQ(silent.Requests().size(), 1u);
}

}  // namespace
}  // namespace interpretertest
