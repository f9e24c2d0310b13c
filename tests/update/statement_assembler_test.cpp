#include "update/statement_assembler.h"

#include <gtest/gtest.h>

#include <ostream>

#include <string>
#include <vector>

namespace norvane::update {
namespace {

struct AssemblyCase {
    const char* name;
    std::vector<std::string> lines;
    std::vector<std::string> executed; // as sent: lines each ended by CR LF
    std::string pending;               // left in the buffer after the last line
};

void PrintTo(const AssemblyCase& c, std::ostream* out) {
    *out << c.name;
}

class StatementAssemblyTest : public ::testing::TestWithParam<AssemblyCase> {};

TEST_P(StatementAssemblyTest, ExecutesWhatTheLinesComplete) {
    const AssemblyCase& c = GetParam();
    StatementAssembler assembler;
    std::vector<std::string> executed;
    for (const std::string& line : c.lines) {
        AssemblyStep step = assembler.Feed(line);
        if (step.completed)
            executed.push_back(SentText(*step.completed));
    }
    EXPECT_EQ(executed, c.executed);
    EXPECT_EQ(assembler.Pending(), c.pending);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, StatementAssemblyTest,
    ::testing::Values(
        AssemblyCase{"MultiLineTable",
                     {"CREATE TABLE T (", " A INTEGER", " );"},
                     {"CREATE TABLE T (\r\nA INTEGER\r\n)\r\n"},
                     ""},
        AssemblyCase{"TerminatorOnItsOwnLine",
                     {"CREATE TABLE T (A INTEGER)", ";"},
                     {"CREATE TABLE T (A INTEGER)\r\n"},
                     ""},
        AssemblyCase{"BlankBeforeTerminatorStays",
                     {"CREATE TABLE T (A INTEGER) ;"},
                     {"CREATE TABLE T (A INTEGER) \r\n"},
                     ""},
        AssemblyCase{"ProcedureThroughSetTerm",
                     {"SET TERM ^ ;", "CREATE PROCEDURE P AS", "BEGIN", "  EXIT;", "END^",
                      "SET TERM ; ^", "DROP PROCEDURE P;"},
                     {"CREATE PROCEDURE P AS\r\nBEGIN\r\nEXIT;\r\nEND\r\n", "DROP PROCEDURE P\r\n"},
                     ""},
        AssemblyCase{"UpdateWithSetClauseOnItsOwnLine",
                     {"UPDATE T", "SET A = 1", "WHERE B = 2;"},
                     {"UPDATE T\r\nSET A = 1\r\nWHERE B = 2\r\n"},
                     ""},
        AssemblyCase{"SetClauseEndsTheUpdate",
                     {"UPDATE T", "  set A = 1;", "SELECT 1 FROM RDB$DATABASE"},
                     {"UPDATE T\r\nset A = 1\r\n"},
                     "SELECT 1 FROM RDB$DATABASE"},
        AssemblyCase{"SetGeneratorIsExecuted",
                     {"SET GENERATOR G1 TO 100;"},
                     {"SET GENERATOR G1 TO 100\r\n"},
                     ""},
        AssemblyCase{"ClientSetCommandsAreSkipped",
                     {"SET SQL DIALECT 3;", "SET NAMES WIN1251;", "set autoddl on;"},
                     {},
                     ""},
        AssemblyCase{"CommitWork", {"COMMIT WORK;"}, {"COMMIT WORK\r\n"}, ""},
        AssemblyCase{"TwoStatementsOnOneLine",
                     {"DELETE FROM A; DELETE FROM B;"},
                     {"DELETE FROM A; DELETE FROM B\r\n"},
                     ""},
        AssemblyCase{"CommentsAreNotRecognised", {"-- old value;"}, {"-- old value\r\n"}, ""},
        AssemblyCase{"TerminatorAloneSubmitsEmptyStatement", {";"}, {""}, ""},
        AssemblyCase{"ShortSetTermPilesLinesUp",
                     {"SET TERM ^", "A;", "B^", "SET TERM ; ^", "C;"},
                     {"A;\r\nB^\r\nC\r\n"},
                     ""},
        AssemblyCase{"LowerCaseSetTerm", {"set term ^ ;", "X^", "Y;"}, {"X\r\n"}, "Y;"},
        AssemblyCase{"SetTermInsidePendingStatement",
                     {"SELECT 1", "SET TERM ^ ;", "FROM RDB$DATABASE^"},
                     {"SELECT 1\r\nFROM RDB$DATABASE\r\n"},
                     ""},
        AssemblyCase{"IndentationAndBlankLinesDisappear",
                     {"  SELECT 1", "", " \t ", "\tFROM RDB$DATABASE;  \x01"},
                     {"SELECT 1\r\nFROM RDB$DATABASE\r\n"},
                     ""},
        AssemblyCase{"UnterminatedTailIsLeftPending", {"A;", "B", "C"}, {"A\r\n"}, "B\nC"},
        AssemblyCase{"TerminatorNotCarriedOverInANewAssembler", {"X^"}, {}, "X^"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StatementAssemblerTest, ClassifiesLines) {
    StatementAssembler assembler;
    EXPECT_EQ(assembler.Feed("SET NAMES WIN1251;").kind, LineKind::Set);
    EXPECT_EQ(assembler.Feed("SET GENERATOR G TO 1;").kind, LineKind::Ordinary);
    EXPECT_EQ(assembler.Feed("SETTINGS;").kind, LineKind::Ordinary);
    EXPECT_EQ(assembler.Feed("UPDATE T").kind, LineKind::Ordinary);
    EXPECT_EQ(assembler.Feed("SET A = 1").kind, LineKind::Ordinary);
    EXPECT_EQ(assembler.Feed("set term ^ ;").kind, LineKind::Set);
    EXPECT_EQ(assembler.Terminator(), '^');
}

struct SetTermCase {
    const char* line;
    char terminator;
};

void PrintTo(const SetTermCase& c, std::ostream* out) {
    *out << '"' << c.line << '"';
}

class SetTermTest : public ::testing::TestWithParam<SetTermCase> {};

TEST_P(SetTermTest, NamesTheNewTerminator) {
    EXPECT_EQ(TerminatorFromSetTerm(GetParam().line), GetParam().terminator) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SetTermTest,
    ::testing::Values(SetTermCase{"SET TERM ^ ;", '^'}, SetTermCase{"SET TERM ^;", '^'},
                      SetTermCase{"SET TERM ; ^", ';'}, SetTermCase{"set term !! ;", '!'},
                      SetTermCase{"SET TERM ^", ' '}, SetTermCase{"SET TERM  mM# ;", '#'},
                      SetTermCase{"SET TERM ;", ' '}, SetTermCase{"SET TERM", 'R'}));

TEST(SentTextTest, EndsEveryLineWithCrLf) {
    EXPECT_EQ(SentText(""), "");
    EXPECT_EQ(SentText("A"), "A\r\n");
    EXPECT_EQ(SentText("A\nB"), "A\r\nB\r\n");
}

} // namespace
} // namespace norvane::update
