// SPDX-License-Identifier: GPL-3.0-or-later
// The request rules without any window: a recording stand-in answers the
// boxes and dialogs, so what each path says and runs is checked directly.

#include "mainwindow/core/ConsoleLineEnds.h"
#include "mainwindow/core/RequestFlow.h"
#include "winhelpers/core/CommandLinePath.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

struct RecordingWindow : gv::RequestWindow {
    bool running = false;
    bool missing = false;
    bool yes = true;
    std::optional<std::string> chosen;
    std::vector<std::string> said; // notices and questions, in order
    std::vector<std::string> commands;
    std::string mode;

    bool isRunning() const override { return running; }
    bool identifierMissing() const override { return missing; }
    bool verbose() const override { return false; }
    void notice(const std::string& text) override { said.push_back(text); }
    bool confirm(const std::string& question, const std::string&) override
    {
        said.push_back(question);
        return yes;
    }
    std::optional<std::string> chooseFile(const std::string&) override { return chosen; }
    std::optional<std::string> chooseFolder(const std::string&) override { return chosen; }
    void showFile(const std::string&) override {}
    void showFolder(const std::string&) override {}
    void clearItems() override {}
    void showDropMode(const std::string& m) override { mode = m; }
    void runCommand(const std::string& line) override { commands.push_back(line); }
    std::string commandForm(const std::string& path) const override { return gv::EscapedAbsolutePath(path); }
};

class RequestFlowTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_dir = std::filesystem::temp_directory_path() / ("gv-flow-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_dir);
        m_file = (m_dir / "a b*.txt").string();
        std::ofstream(m_file) << "x";
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::filesystem::path m_dir;
    std::string m_file;
    RecordingWindow m_window;
    gv::RequestFlow m_flow{m_window};
};

TEST_F(RequestFlowTest, FileButtonOutcomes)
{
    const std::string quoted = gv::EscapedAbsolutePath(m_file);
    struct Case {
        const char* name;
        bool running, missing, yes;
        std::optional<std::string> chosen;
        std::vector<std::string> said;
        std::vector<std::string> commands;
    } cases[] = {
        {"confirmed", false, false, true, m_file, {"eseguire il parsing del FILE selezionato ?"},
         {"cmd /c vonk " + quoted + " --literal"}},
        {"refused", false, false, false, m_file,
         {"eseguire il parsing del FILE selezionato ?", "Parsing del file annullato dall'utente"}, {}},
        {"cancelled", false, false, true, std::nullopt, {"Operazione annullata"}, {}},
        {"gone since chosen", false, false, true, (m_dir / "missing").string(),
         {"eseguire il parsing del FILE selezionato ?",
          "L'elemento scelto non esiste più: nessuna analisi eseguita."}, {}},
        {"busy", true, false, true, m_file,
         {"Un'analisi è ancora in corso: attendere che finisca prima di avviarne un'altra."}, {}},
        {"no identifier", false, true, true, m_file,
         {"Vonk non è disponibile (non è stato possibile scriverlo all'avvio): nessuna analisi eseguita."}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_window = RecordingWindow{};
        m_window.running = c.running;
        m_window.missing = c.missing;
        m_window.yes = c.yes;
        m_window.chosen = c.chosen;
        m_flow.cmdFile_Click();
        EXPECT_EQ(m_window.said, c.said);
        EXPECT_EQ(m_window.commands, c.commands);
    }
}

TEST_F(RequestFlowTest, DropsTakeOnlyPresentItemsAndFoldersGetTheirPattern)
{
    EXPECT_EQ(m_flow.dragOver(std::nullopt, 7), 0);
    EXPECT_EQ(m_window.mode, "cartella");
    EXPECT_EQ(m_flow.dragOver(m_file, 7), 1);
    EXPECT_EQ(m_window.mode, "file");
    EXPECT_EQ(m_flow.dragOver((m_dir / "missing").string(), 7), 0);
    EXPECT_EQ(m_flow.dragOver(m_dir.string(), 2), 0); // move only: not taken
    EXPECT_EQ(m_window.mode, "cartella");

    m_flow.dropRequest("cartella", m_dir.string());
    ASSERT_EQ(m_window.commands.size(), 1u);
    EXPECT_EQ(m_window.commands[0], "cmd /c vonk " + gv::EscapedAbsolutePath(m_dir.string()) + "/*");
    // Drops never change what the buttons remember.
    EXPECT_EQ(m_flow.lastFolder(), "");
}

} // namespace

TEST(ConsoleLineEndsTest, EveryLineEndBecomesCrLfAcrossChunks)
{
    // Chunks fed in order to one converter, and what the pane receives.
    struct Case {
        const char* name;
        std::vector<std::string> chunks;
        std::string shown;
    } cases[] = {
        {"LF", {"a\nb\n"}, "a\r\nb\r\n"},
        {"CR LF kept as one", {"a\r\nb"}, "a\r\nb"},
        {"CR LF split between chunks", {"a\r", "\nb"}, "a\r\nb"},
        {"lone CR", {"a\rb"}, "a\r\nb"},
        {"two line ends", {"a\n\n"}, "a\r\n\r\n"},
        {"NUL cannot cut the text", {std::string("a\0b", 3)}, "a b"},
        {"UTF-8 unchanged", {"Perché\n"}, "Perché\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        gv::ConsoleLineEnds ends;
        std::string shown;
        for (const std::string& chunk : c.chunks)
            shown += ends.toPane(chunk);
        EXPECT_EQ(shown, c.shown);
    }
    // A new stream does not take its first LF for the end of a CR LF.
    gv::ConsoleLineEnds ends;
    ends.toPane("x\r");
    ends.reset();
    EXPECT_EQ(ends.toPane("\ny"), "\r\ny");
}
