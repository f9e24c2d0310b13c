// This executable carries packages 254 and 255 of packages/: an update cut off by a request
// to end, or one whose program files did not all arrive, is resumed by the next run.
#include "installer_fixture.h"

#include "platform/interrupt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace norvane::testing {
namespace {

namespace fs = std::filesystem;
using app::ExitStatus;
using app::RunReport;

class JournalTest : public InstallerTest {
public:
    /// Calls act once, at the pump after the memo's last line became line.
    void AtLine(const std::string& line, std::function<void()> act) {
        m_window.OnPump = [this, line, act, done = false]() mutable {
            if (!done && m_window.MemoLines().back() == line) {
                done = true;
                act();
            }
        };
    }

    /// The update with the template's source taken away while the main program is copied: the
    /// database reaches 255, the package stays unfinished.
    void UpdateLeavingATemplateUncopied() {
        AtLine("Norvanework.exe...[OK]", [this] { fs::remove(WorkFile("Report/a.fr3")); });
        m_form->btOKClick();
    }

    /// The next run, its update asked for.
    void UpdateAgain() {
        StartAgain();
        ASSERT_TRUE(m_window.Enabled(ui::Control::btOK)) << m_window.MemoText();
        m_form->btOKClick();
    }

    /// The next run, which finds package 255 unfinished at version 255 and completes it.
    void CompleteInTheNextRun() {
        StartAgain();
        EXPECT_TRUE(Said("Встановлення пакета 255 не завершено: його буде завершено"))
            << m_window.MemoText();
        ASSERT_TRUE(m_window.Enabled(ui::Control::btOK));
        m_form->btOKClick();
    }

    bool Said(const std::string& line) const {
        const auto lines = m_window.MemoLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    std::int64_t Count(const std::string& select) { return m_database.QueryCount(select); }
};

TEST_F(JournalTest, AFailedStatementIsTriedAgainWhenTheUpdateResumes) {
    StartAtVersion(254);
    // Stopped after the first line of 255.02.sql, whose statement fails for want of a table.
    AtLine("255.02.sql", [] { platform::RequestInterrupt(); });
    m_form->btOKClick();
    ASSERT_EQ(m_form->Report().install, RunReport::Install::Interrupted) << m_window.MemoText();
    EXPECT_EQ(m_window.MemoLines().back(), "error: оновлення перервано");
    EXPECT_EQ(DatabaseVersion(), "254");

    // The table is made, and the next run goes on where the first stopped.
    m_database.Execute("create table NO_SUCH_TABLE (N integer);");
    UpdateAgain();
    EXPECT_TRUE(Said("продовження перерваного оновлення: 4 інструкцій скрипту вже виконано"))
        << m_window.MemoText();
    EXPECT_EQ(m_form->FinishRun(), ExitStatus::Updated) << m_window.MemoText();
    EXPECT_EQ(DatabaseVersion(), "255");
    EXPECT_EQ(Count("select count(*) from NO_SUCH_TABLE"), 1);
    // The procedure that adds 5 ran once, and so did everything after it: (10 + 5) * 2.
    EXPECT_EQ(m_database.QueryString("select QTY from T255 where ID = 1"), "30");
    EXPECT_EQ(Count("select count(*) from T255"), 1);
}

TEST_F(JournalTest, AScriptThatChangedSinceTheInterruptionRunsOnlyWhatWasNotDone) {
    StartAtVersion(254);
    AtLine("255.02.sql", [] { platform::RequestInterrupt(); });
    m_form->btOKClick();
    ASSERT_EQ(m_form->Report().install, RunReport::Install::Interrupted);
    // As if the package now carried another 255.01.sql than the one the first run began.
    m_database.Execute("update NORVANE$UPDATE_JOURNAL set DIGEST = 'another script'"
                       " where ITEM = '255.01.sql';");
    StartAgain();
    m_form->btOKClick();
    EXPECT_TRUE(Said("скрипт 255.01.sql змінився після перерваного оновлення: виконані "
                     "інструкції не виконуються вдруге, нові та змінені виконуються"))
        << m_window.MemoText();
    // Its statements are matched by their own text: none of them runs twice.
    EXPECT_TRUE(Said("скрипт 255.01.sql: уже виконаних інструкцій пропущено: 4, виконано нових "
                     "або змінених: 0"))
        << m_window.MemoText();
    EXPECT_FALSE(fs::exists(ProgramFile("norvane-update.logs/255/255.01.sql.log")));
    EXPECT_EQ(DatabaseVersion(), "255");
}

// An installer before this one recorded each statement on a row of its own, by its place in
// the script, in a journal without the DONE column.
class LegacyJournalTest : public JournalTest {
public:
    /// Interrupted where 255.01.sql is done, and its record rewritten the old way under digest.
    void InterruptAndRecordByPlace(const std::function<std::string(std::string)>& digest) {
        StartAtVersion(254);
        AtLine("255.02.sql", [] { platform::RequestInterrupt(); });
        m_form->btOKClick();
        ASSERT_EQ(m_form->Report().install, RunReport::Install::Interrupted);
        ASSERT_EQ(Count("select count(*) from NORVANE$UPDATE_JOURNAL "
                        "where DONE is not null and ITEM <> '255.01.sql'"),
                  0);
        const std::optional<std::string> scriptDigest = m_database.QueryString(
            "select first 1 DIGEST from NORVANE$UPDATE_JOURNAL where ITEM = '255.01.sql'");
        ASSERT_TRUE(scriptDigest.has_value());
        std::string rows;
        for (int ordinal = 1; ordinal <= 4; ++ordinal)
            rows += "insert into NORVANE$UPDATE_JOURNAL (PACKAGE, ITEM, DIGEST, ORDINAL) values "
                    "(255, '255.01.sql', '" +
                    digest(*scriptDigest) + "', " + std::to_string(ordinal) + ");";
        m_database.Execute("delete from NORVANE$UPDATE_JOURNAL where ITEM = '255.01.sql';"
                           "commit;"
                           "alter table NORVANE$UPDATE_JOURNAL drop DONE;"
                           "commit;" +
                           rows);
        qtyAtInterruption = m_database.QueryString("select QTY from T255 where ID = 1");
        UpdateAgain();
    }

    std::optional<std::string> qtyAtInterruption;
};

TEST_F(LegacyJournalTest, TheSameScriptResumesAfterTheStatementsRecordedByPlace) {
    InterruptAndRecordByPlace([](std::string digest) { return digest; });
    EXPECT_TRUE(Said("продовження перерваного оновлення: 4 інструкцій скрипту вже виконано"))
        << m_window.MemoText();
    EXPECT_EQ(m_form->FinishRun(), ExitStatus::UpdatedWithFailures) << m_window.MemoText();
    EXPECT_EQ(DatabaseVersion(), "255");
    // The procedure that adds 5 ran once, and so did everything after it: (10 + 5) * 2.
    EXPECT_EQ(m_database.QueryString("select QTY from T255 where ID = 1"), "30");
    EXPECT_EQ(Count("select count(*) from T255"), 1);
    // The journal got back the column its records are kept in.
    EXPECT_EQ(Count("select count(*) from rdb$relation_fields where "
                    "rdb$relation_name = 'NORVANE$UPDATE_JOURNAL' and rdb$field_name = 'DONE'"),
              1);
}

TEST_F(LegacyJournalTest, AChangedScriptStopsTheRunBeforeItsFirstStatement) {
    InterruptAndRecordByPlace([](const std::string&) { return std::string("another script"); });
    // Which of its statements ran cannot be told by their places in another script.
    EXPECT_EQ(m_form->Report().install, RunReport::Install::Failed);
    EXPECT_NE(m_window.MemoText().find("скрипт 255.01.sql змінився після перерваного оновлення, "
                                       "що записало виконані інструкції за їхніми номерами: "
                                       "продовжити його неможливо"),
              std::string::npos)
        << m_window.MemoText();
    EXPECT_NE(m_form->FinishRun(), ExitStatus::Updated);
    EXPECT_EQ(DatabaseVersion(), "254");
    EXPECT_EQ(m_database.QueryString("select QTY from T255 where ID = 1"), qtyAtInterruption);
    EXPECT_EQ(Count("select count(*) from NORVANE$UPDATE_JOURNAL where ITEM = '255.01.sql'"), 4);
}

// The earlier installer recorded a loaded blob file by its name.
TEST_F(LegacyJournalTest, ABlobFileRecordedByNameIsNotLoadedAgain) {
    StartAtVersion(254);
    UpdateLeavingATemplateUncopied();
    ASSERT_EQ(m_form->FinishRun(), ExitStatus::UpdatedWithFailures);
    m_database.Execute("delete from NORVANE$UPDATE_JOURNAL where ITEM in ('$BLOB', '$BLOBS');"
                       "insert into NORVANE$UPDATE_JOURNAL (PACKAGE, ITEM, DIGEST, ORDINAL) "
                       "values (255, 'INFO_DOC.NOTE_U.ID 10.blo', '', 1);"
                       "update INFO_DOC set NOTE_U = 'edited since' where ID = 10;");

    UpdateAgain();
    // 255.02.sql's failing statement is tried again, and fails again.
    EXPECT_EQ(m_form->FinishRun(), ExitStatus::UpdatedWithFailures) << m_window.MemoText();
    EXPECT_EQ(m_database.QueryBlob("select NOTE_U from INFO_DOC where ID = 10"), "edited since");
    EXPECT_EQ(ReadFile(ProgramFile("Report/a.fr3")), "report template a\r\n");
}

TEST_F(JournalTest, AProgramFileThatDidNotArriveIsCopiedByTheNextRun) {
    StartAtVersion(254);
    // The template's source goes away while the main program is copied.
    UpdateLeavingATemplateUncopied();
    EXPECT_EQ(m_form->Report().failedCopies, 1);
    EXPECT_EQ(m_form->FinishRun(), ExitStatus::UpdatedWithFailures);
    EXPECT_EQ(DatabaseVersion(), "255");
    EXPECT_FALSE(fs::exists(ProgramFile("Report/a.fr3")));

    // The database is at 255, but release 255 is not complete: the next run completes it.
    CompleteInTheNextRun();
    EXPECT_TRUE(Said("Завершення встановлення пакета 255")) << m_window.MemoText();
    EXPECT_EQ(ReadFile(ProgramFile("Report/a.fr3")), "report template a\r\n");
    EXPECT_EQ(m_form->Report().install, RunReport::Install::Finished);
    // Statements done by the first run are not run again; the one that failed is.
    EXPECT_EQ(m_database.QueryString("select QTY from T255 where ID = 1"), "30");
    m_form->FinishRun();

    // Now it is complete.
    StartAgain();
    EXPECT_EQ(m_window.MemoLines().back(), "Оновлення не можливо!!!");
    EXPECT_EQ(m_form->FinishRun(), ExitStatus::UpToDate);
}

// The package's version came, so its scripts ran; one with no record here (as a package re-issued
// with a script more would bring) is passed over, not run on a database it was not written for.
TEST_F(JournalTest, CompletingAPackagePassesOverAScriptItHasNoRecordOf) {
    StartAtVersion(254);
    UpdateLeavingATemplateUncopied();
    ASSERT_EQ(m_form->FinishRun(), ExitStatus::UpdatedWithFailures);
    ASSERT_EQ(m_database.QueryString("select QTY from T255 where ID = 1"), "30");
    m_database.Execute("delete from NORVANE$UPDATE_JOURNAL where ITEM = '255.02.sql';");

    UpdateAgain();
    EXPECT_TRUE(Said("скрипт 255.02.sql не виконувався до перерваного оновлення: його пропущено"))
        << m_window.MemoText();
    EXPECT_EQ(m_form->FinishRun(), ExitStatus::Updated) << m_window.MemoText();
    EXPECT_EQ(m_database.QueryString("select QTY from T255 where ID = 1"), "30");
    const std::string history = ReadFile(ProgramFile("norvane-update.log"));
    EXPECT_NE(history.find("  255.02.sql: не виконувався (пакет завершено без нього)\n"),
              std::string::npos)
        << history;
    EXPECT_EQ(ReadFile(ProgramFile("Report/a.fr3")), "report template a\r\n");
}

// The database lost after the version came but before the loaded blob file was committed: the
// program files stay where they are, and the next run completes the package.
TEST_F(JournalTest, ADatabaseLostInTheBlobPhaseIsCompletedByTheNextRun) {
    StartAtVersion(254);
    const std::string unloaded = "select count(*) from INFO_DOC where ID = 10 and NOTE_U is null";
    ASSERT_EQ(Count(unloaded), 1);
    m_window.OnPump = [this, done = false]() mutable {
        if (done || !fs::exists(WorkFile("up/INFO_DOC.NOTE_U.ID 10.~blo")))
            return;
        done = true;
        m_database.Execute("delete from mon$attachments where mon$attachment_id <> "
                           "current_connection and mon$system_flag = 0;");
    };
    m_form->btOKClick();
    m_window.OnPump = nullptr;
    EXPECT_EQ(m_form->Report().install, RunReport::Install::Failed);
    EXPECT_TRUE(m_window.MemoLines().back().starts_with("error: ")) << m_window.MemoText();
    EXPECT_EQ(m_form->FinishRun(), ExitStatus::Error);
    EXPECT_EQ(DatabaseVersion(), "255");
    EXPECT_EQ(Count(unloaded), 1);
    EXPECT_FALSE(fs::exists(ProgramFile("Report/a.fr3")));

    CompleteInTheNextRun();
    EXPECT_EQ(m_form->Report().install, RunReport::Install::Finished) << m_window.MemoText();
    EXPECT_EQ(m_database.QueryBlob("select NOTE_U from INFO_DOC where ID = 10"),
              ReadFile(WorkFile("up/INFO_DOC.NOTE_U.ID 10.~blo")));
    EXPECT_EQ(ReadFile(ProgramFile("Report/a.fr3")), "report template a\r\n");
    // Statements done by the first run ran once.
    EXPECT_EQ(m_database.QueryString("select QTY from T255 where ID = 1"), "30");
}

TEST_F(JournalTest, EachRunAppendsItsAccountToTheHistory) {
    StartAtVersion(254);
    m_form->btOKClick();
    EXPECT_EQ(m_form->FinishRun(), ExitStatus::UpdatedWithFailures);
    StartAgain();
    EXPECT_EQ(m_form->FinishRun(), ExitStatus::UpToDate);

    const std::string history = ReadFile(ProgramFile("norvane-update.log"));
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < history.size();) {
        const std::size_t end = history.find('\n', start);
        lines.push_back(history.substr(start, end - start));
        start = end + 1;
    }
    // Times vary; everything else is as the runs went.
    const auto timed = [](const std::string& line, const std::string& prefix) {
        return line.rfind(prefix, 0) == 0 && line.size() == prefix.size() + 19;
    };
    ASSERT_EQ(lines.size(), 22u) << history;
    EXPECT_TRUE(timed(lines[0], "=== norvane-update 1.0.0, початок ")) << lines[0];
    const std::vector<std::string> first{
        "база даних: " + m_database.Path(),
        "версія до оновлення: 254",
        "пакет 255",
        "  255.01.sql: помилок 0",
        "  255.02.sql: помилок 1, журнал " + ProgramFile("norvane-update.logs/255/255.02.sql.log"),
        "  255.99.sql: помилок 0",
        "  blob-файли: помилок 0",
        "  скопійовано " + ProgramFile("Norvanework.exe"),
        "  скопійовано " + ProgramFile("Report/a.fr3"),
        "  скопійовано " + ProgramFile("Report/B.fr3"),
        "версія після оновлення: 255",
        "результат: оновлено, але з помилками (код 3)",
    };
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.begin() + 13), first);
    EXPECT_TRUE(timed(lines[13], "кінець ")) << lines[13];
    EXPECT_EQ(lines[14], "");
    EXPECT_TRUE(timed(lines[15], "=== norvane-update 1.0.0, початок ")) << lines[15];
    EXPECT_EQ(lines[16], "база даних: " + m_database.Path());
    EXPECT_EQ(lines[17], "версія до оновлення: 255");
    EXPECT_EQ(lines[18], "версія після оновлення: 255");
    EXPECT_EQ(lines[19], "результат: оновлення не потрібне (код 10)");
    EXPECT_TRUE(timed(lines[20], "кінець ")) << lines[20];
    // The failing script's log outlives the work folder.
    EXPECT_EQ(ReadFile(ProgramFile("norvane-update.logs/255/255.02.sql.log")),
              ReadFile(WorkFile("up/255.02.sql.log")));
}

TEST_F(JournalTest, TheHistoryNamesTheKeptLogOfBlobFilesThatFailed) {
    MakeDatabaseAt(254);
    // The row the package's blob file is for is gone.
    m_database.Execute("delete from INFO_DOC where ID = 10;");
    Start();
    m_form->btOKClick();
    EXPECT_EQ(m_form->Report().failedBlobs, 1);
    EXPECT_EQ(m_form->FinishRun(), ExitStatus::UpdatedWithFailures);
    const std::string kept = ProgramFile("norvane-update.logs/255/255.99.sql.log");
    const std::string history = ReadFile(ProgramFile("norvane-update.log"));
    EXPECT_NE(history.find("  blob-файли: помилок 1\n    журнал " + kept + "\n"), std::string::npos)
        << history;
    EXPECT_NE(ReadFile(kept).find("no row with (ID=10) in INFO_DOC"), std::string::npos)
        << ReadFile(kept);
    EXPECT_EQ(DatabaseVersion(), "255");
}

} // namespace
} // namespace norvane::testing
