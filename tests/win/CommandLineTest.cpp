// The switches OLE puts on a server's command line: "Embedding" and
// "Automation", right after "-" or "/", anywhere, letter case exact; the
// switch's own letters and its "-" or "/" are cut out when found.
#include <gtest/gtest.h>

#include "TestApp.h"

namespace {

struct SwitchCase {
  const wchar_t* line;
  bool embedding;                // RunEmbedded's result
  const wchar_t* afterEmbedding; // the line after RunEmbedded
  bool automation;               // RunAutomated's result, on the same original line
  const wchar_t* afterAutomation;
};

const SwitchCase kCases[] = {
    {L"-Embedding", true, L"", false, L"-Embedding"},
    {L"/Embedding", true, L"", false, L"/Embedding"},
    {L"-Automation", false, L"-Automation", true, L""},
    {L"/Automation", false, L"/Automation", true, L""},
    {L"", false, L"", false, L""},
    // Letter case counts.
    {L"-embedding", false, L"-embedding", false, L"-embedding"},
    {L"/AUTOMATION", false, L"/AUTOMATION", false, L"/AUTOMATION"},
    // The "-" or "/" is required, directly before the word.
    {L"Embedding Automation", false, L"Embedding Automation", false, L"Embedding Automation"},
    {L"- Embedding", false, L"- Embedding", false, L"- Embedding"},
    {L"-Embed", false, L"-Embed", false, L"-Embed"},
    // A longer word counts; only the switch's letters and its "-" go.
    {L"-Embeddingfoo", true, L"foo", false, L"-Embeddingfoo"},
    {L"/Automations x", false, L"/Automations x", true, L"s x"},
    // Anywhere in the line, also inside another word or a path.
    {L"x /Embedding y", true, L"x  y", false, L"x /Embedding y"},
    {L"C:\\photos\\a-Automation.jpg", false, L"C:\\photos\\a-Automation.jpg", true, L"C:\\photos\\a.jpg"},
    {L"--Embedding", true, L"-", false, L"--Embedding"},
    // Both switches: each call cuts only its own.
    {L"-Embedding /Automation", true, L" /Automation", true, L"-Embedding "},
    {L"/Automation -Embedding", true, L"/Automation ", true, L" -Embedding"},
    // Only the first occurrence goes.
    {L"-Embedding -Embedding", true, L" -Embedding", false, L"-Embedding -Embedding"},
};

TEST(CommandLine, SwitchesAreFoundAndCutExactly) {
  CTestApp& app = TestApp();
  const std::wstring savedLine = app.m_lpCmdLine;
  for (const SwitchCase& c : kCases) {
    const std::string line = Narrow(c.line);

    app.m_lpCmdLine = c.line;
    app.m_bUserControl = true;
    EXPECT_EQ(app.RunEmbedded() != FALSE, c.embedding) << "RunEmbedded on \"" << line << "\"";
    EXPECT_EQ(app.m_lpCmdLine, c.afterEmbedding) << "RunEmbedded on \"" << line << "\"";
    EXPECT_EQ(app.m_bUserControl, !c.embedding) << "RunEmbedded on \"" << line << "\"";

    app.m_lpCmdLine = c.line;
    app.m_bUserControl = true;
    EXPECT_EQ(app.RunAutomated() != FALSE, c.automation) << "RunAutomated on \"" << line << "\"";
    EXPECT_EQ(app.m_lpCmdLine, c.afterAutomation) << "RunAutomated on \"" << line << "\"";
    EXPECT_EQ(app.m_bUserControl, !c.automation) << "RunAutomated on \"" << line << "\"";
  }
  app.m_lpCmdLine = savedLine;
  app.m_bUserControl = true;
}

// A photo's path on the command line, as the shell passes it: quoted when
// it holds blanks, any script; the arguments split as programs split them.
TEST(CommandLine, ArgumentsAreSplitAsProgramsSplitThem) {
  const struct {
    const wchar_t* line;
    std::vector<std::wstring> arguments;
  } cases[] = {
      {L"", {}},
      {L"   ", {}},
      {L"C:\\photos\\a.jpg", {L"C:\\photos\\a.jpg"}},
      {L"\"C:\\写真\\夏の 写真 (1).jpg\"", {L"C:\\写真\\夏の 写真 (1).jpg"}},
      {L"  \"C:\\a b\\c.bmp\"  second", {L"C:\\a b\\c.bmp", L"second"}},
      {L"\"C:\\trailing\\\\\"", {L"C:\\trailing\\"}},
      {L" \"\"", {L""}},
  };
  for (const auto& c : cases) EXPECT_EQ(CommandLineArguments(c.line), c.arguments) << Narrow(c.line);
}

}  // namespace
