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
    bool pendingStatement = false;     // whether that text holds more than comments
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
        for (const std::string& completed : assembler.Feed(line).completed)
            executed.push_back(SentText(completed));
    }
    EXPECT_EQ(executed, c.executed);
    EXPECT_EQ(assembler.Pending(), c.pending);
    EXPECT_EQ(assembler.HasPendingStatement(), c.pendingStatement);
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
                     "SELECT 1 FROM RDB$DATABASE",
                     true},
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
                     {"DELETE FROM A\r\n", "DELETE FROM B\r\n"},
                     ""},
        AssemblyCase{"CommitAfterTheStatementItEnds",
                     {"create table t (a int); insert into t values (1);",
                      "INSERT INTO T VALUES (2", "); commit;"},
                     {"create table t (a int)\r\n", "insert into t values (1)\r\n",
                      "INSERT INTO T VALUES (2\r\n)\r\n", "commit\r\n"},
                     ""},
        AssemblyCase{"TextAfterTheLastTerminatorStartsTheNextStatement",
                     {"A; B", "  C ;"},
                     {"A\r\n", "B\r\nC \r\n"},
                     ""},
        AssemblyCase{"TerminatorsInsideALineInCommentsAndLiterals",
                     {"INSERT INTO T VALUES ('a;b'); /* c; d */ SELECT \"x;\" FROM R; -- e; f"},
                     {"INSERT INTO T VALUES ('a;b')\r\n", "/* c; d */ SELECT \"x;\" FROM R\r\n"},
                     "-- e; f"},
        AssemblyCase{"LiteralClosedBeforeAnotherStatement",
                     {"INSERT INTO T VALUES ('a;", "b'); INSERT INTO T VALUES ('c');"},
                     {"INSERT INTO T VALUES ('a;\r\nb')\r\n", "INSERT INTO T VALUES ('c')\r\n"},
                     ""},
        AssemblyCase{"TerminatorStartsALineWithMoreAfterIt",
                     {"SET TERM ^ ;", "EXECUTE BLOCK AS BEGIN EXIT; END", "^ SET TERM ; ^",
                      "SELECT 1", "; SELECT 2 FROM RDB$DATABASE;"},
                     {"EXECUTE BLOCK AS BEGIN EXIT; END\r\n", "SELECT 1\r\n",
                      "SELECT 2 FROM RDB$DATABASE\r\n"},
                     ""},
        AssemblyCase{"EmptyStatementsInsideALineAreSkipped",
                     {"SELECT 1;;", "SELECT 2; ; SELECT 3;", "SELECT 4; /* c */ ;"},
                     {"SELECT 1\r\n", "SELECT 2\r\n", "SELECT 3\r\n", "SELECT 4\r\n"},
                     "/* c */"},
        AssemblyCase{
            "StatementAfterASetCommand",
            {"set list on; select 1 from rdb$database;",
             "SET NAMES UTF8; SET TERM ^ ; EXECUTE BLOCK AS BEGIN END^ SET TERM ; ^ COMMIT;"},
            {"select 1 from rdb$database\r\n", "EXECUTE BLOCK AS BEGIN END\r\n", "COMMIT\r\n"},
            ""},
        AssemblyCase{"SetClauseThenAStatementOnItsLine",
                     {"UPDATE T", "SET A = 1; DELETE FROM T;"},
                     {"UPDATE T\r\nSET A = 1\r\n", "DELETE FROM T\r\n"},
                     ""},
        AssemblyCase{"SetTermInsidePendingStatementWithTextAfter",
                     {"SELECT 1", "SET TERM ^ ; FROM RDB$DATABASE^"},
                     {"SELECT 1\r\nFROM RDB$DATABASE\r\n"},
                     ""},
        AssemblyCase{"SetTermNamingNothingRestoresTheSemicolon",
                     {"set term ;", "A;", "set term ^;", "B^", "set term ^;", "C;", "SET TERM ^ ;",
                      "SET TERM ^ ;", "D;"},
                     {"A\r\n", "B\r\n", "C\r\n", "D\r\n"},
                     ""},
        AssemblyCase{"ColumnNamedLikeTermIsAClause",
                     {"UPDATE T", "SET TERM_ID = 1;"},
                     {"UPDATE T\r\nSET TERM_ID = 1\r\n"},
                     ""},
        AssemblyCase{"TerminatorInALineCommentEndsNothing",
                     {"-- old value;", "SELECT 1 FROM RDB$DATABASE;"},
                     {"-- old value;\r\nSELECT 1 FROM RDB$DATABASE\r\n"},
                     ""},
        AssemblyCase{"TerminatorAloneSubmitsEmptyStatement", {";"}, {""}, ""},
        AssemblyCase{"SetTermWithoutTheOldTerminatorNamesItsOwn",
                     {"SET TERM ^", "A;", "B^", "SET TERM ; ^", "C;"},
                     {"A;\r\nB\r\n", "C\r\n"},
                     ""},
        AssemblyCase{"LowerCaseSetTerm", {"set term ^ ;", "X^", "Y;"}, {"X\r\n"}, "Y;", true},
        AssemblyCase{"SetTermInsidePendingStatement",
                     {"SELECT 1", "SET TERM ^ ;", "FROM RDB$DATABASE^"},
                     {"SELECT 1\r\nFROM RDB$DATABASE\r\n"},
                     ""},
        AssemblyCase{"IndentationAndBlankLinesDisappear",
                     {"  SELECT 1", "", " \t ", "\tFROM RDB$DATABASE;  \x01"},
                     {"SELECT 1\r\nFROM RDB$DATABASE\r\n"},
                     ""},
        AssemblyCase{"UnterminatedTailIsLeftPending", {"A;", "B", "C"}, {"A\r\n"}, "B\nC", true},
        AssemblyCase{"TerminatorNotCarriedOverInANewAssembler", {"X^"}, {}, "X^", true},
        AssemblyCase{
            "TerminatorInACommentOverLines",
            {"/*", " * Licensed under the License (the \"License\");", " set echo on;", " */",
             "CREATE TABLE T (A INTEGER);"},
            {"/*\r\n* Licensed under the License (the \"License\");\r\nset echo on;\r\n*/\r\n"
             "CREATE TABLE T (A INTEGER)\r\n"},
            ""},
        AssemblyCase{"CommentedOutWhereStaysInTheStatement",
                     {"UPDATE T SET A = 1", "-- WHERE ID = 5;", "WHERE ID = 6;"},
                     {"UPDATE T SET A = 1\r\n-- WHERE ID = 5;\r\nWHERE ID = 6\r\n"},
                     ""},
        AssemblyCase{"LiteralOverLinesKeepsItsBlanksAndLines",
                     {"INSERT INTO T VALUES ('first;", "", "   third  ", "');"},
                     {"INSERT INTO T VALUES ('first;\r\n\r\n   third  \r\n')\r\n"},
                     ""},
        AssemblyCase{"DoubledQuotesAndQuotedNames",
                     {"SELECT 'it''s;", "' AS \"A;", "B\" FROM RDB$DATABASE;"},
                     {"SELECT 'it''s;\r\n' AS \"A;\r\nB\" FROM RDB$DATABASE\r\n"},
                     ""},
        AssemblyCase{"QLiterals",
                     {"SELECT q'#a;#', Q'{b';", "}' FROM RDB$DATABASE;"},
                     {"SELECT q'#a;#', Q'{b';\r\n}' FROM RDB$DATABASE\r\n"},
                     ""},
        AssemblyCase{"QBracketsCloseWithTheirMates",
                     {"SELECT q'(a;)b;)', q'[c;]', q'<d;>', q'{e}' FROM RDB$DATABASE;"},
                     {"SELECT q'(a;)b;)', q'[c;]', q'<d;>', q'{e}' FROM RDB$DATABASE\r\n"},
                     ""},
        AssemblyCase{"QBracketOpenedIsNoMate",
                     {"SELECT q'(a;(' ;", "x)' FROM RDB$DATABASE;"},
                     {"SELECT q'(a;(' ;\r\nx)' FROM RDB$DATABASE\r\n"},
                     ""},
        AssemblyCase{"StatementAfterSetTermOnItsLine",
                     {"SET TERM ^ ; SELECT 1 FROM RDB$DATABASE^"},
                     {"SELECT 1 FROM RDB$DATABASE\r\n"},
                     ""},
        AssemblyCase{
            "QAfterANameIsNoLiteral", {"SELECT 1 AS seq'; x';"}, {"SELECT 1 AS seq'; x'\r\n"}, ""},
        AssemblyCase{"MultiCharacterTerminatorIsRemovedWhole",
                     {"SET TERM !! ;", "CREATE PROCEDURE P AS", "BEGIN", "  EXIT;", "END !!",
                      "SET TERM ; !!", "SELECT 1 FROM RDB$DATABASE;"},
                     {"CREATE PROCEDURE P AS\r\nBEGIN\r\nEXIT;\r\nEND \r\n",
                      "SELECT 1 FROM RDB$DATABASE\r\n"},
                     ""},
        AssemblyCase{"HalfAMultiCharacterTerminatorEndsNothing",
                     {"SET TERM ^^ ;", "SELECT 1 FROM RDB$DATABASE^", "^^"},
                     {"SELECT 1 FROM RDB$DATABASE^\r\n"},
                     ""},
        AssemblyCase{"SetLineAfterACommentIsACommand",
                     {"/* Release 255 */", "SET SQL DIALECT 3;", "SET TERM ^ ;", "SELECT 1^"},
                     {"/* Release 255 */\r\nSELECT 1\r\n"},
                     ""},
        AssemblyCase{"TrailingCommentIsNoStatement",
                     {"SELECT 1;", "-- end of script", "/* really */"},
                     {"SELECT 1\r\n"},
                     "-- end of script\n/* really */"},
        AssemblyCase{"CommentAfterTheTerminatorGoesToTheNextStatement",
                     {"INSERT INTO T VALUES (1); -- first row", "INSERT INTO T VALUES (2); /* x */",
                      "; -- alone", "SET NAMES WIN1251; /* client */"},
                     {"INSERT INTO T VALUES (1)\r\n",
                      "-- first row\r\nINSERT INTO T VALUES (2)\r\n", "/* x */\r\n"},
                     "-- alone\n/* client */"},
        AssemblyCase{"CommentOpenedAfterTheTerminatorGoesToTheNextStatement",
                     {"SELECT 1; /* next:", "SET TERM ^ ;", "*/ SELECT 2;"},
                     {"SELECT 1\r\n", "/* next:\r\nSET TERM ^ ;\r\n*/ SELECT 2\r\n"},
                     ""},
        AssemblyCase{"SetInsideACommentIsNoCommand",
                     {"/*", "SET TERM ^ ;", "*/", "SELECT 1;"},
                     {"/*\r\nSET TERM ^ ;\r\n*/\r\nSELECT 1\r\n"},
                     ""},
        AssemblyCase{"SetStatisticsIsExecuted",
                     {"SET STATISTICS INDEX PK_T;", "set statistics index IX_T;"},
                     {"SET STATISTICS INDEX PK_T\r\n", "set statistics index IX_T\r\n"},
                     ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StatementAssemblerTest, ClassifiesLines) {
    StatementAssembler assembler;
    EXPECT_EQ(assembler.Feed("SET NAMES WIN1251;").kind, LineKind::Set);
    EXPECT_EQ(assembler.Feed("SET GENERATOR G TO 1;").kind, LineKind::Ordinary);
    EXPECT_EQ(assembler.Feed("SETTINGS;").kind, LineKind::Ordinary);
    EXPECT_EQ(assembler.Feed("UPDATE T").kind, LineKind::Ordinary);
    EXPECT_EQ(assembler.Feed("SET A = 1").kind, LineKind::Ordinary);
    EXPECT_EQ(assembler.Feed("set term ^ ;").kind, LineKind::Set);
    EXPECT_EQ(assembler.Terminator(), "^");
    EXPECT_EQ(assembler.Feed("/* SET TERM ; ^").kind, LineKind::Ordinary);
    EXPECT_EQ(assembler.Feed("SET TERM ; ^").kind, LineKind::Ordinary);
    EXPECT_EQ(assembler.Terminator(), "^");
}

TEST(StatementAssemblerTest, LineKindIsWhatTheLineBeginsWith) {
    StatementAssembler assembler;
    const AssemblyStep setThenSelect = assembler.Feed("set list on; SELECT 1;");
    EXPECT_EQ(setThenSelect.kind, LineKind::Set);
    EXPECT_EQ(setThenSelect.completed, std::vector<std::string>{"SELECT 1"});
    EXPECT_EQ(assembler.Feed("SELECT 2; set list off;").kind, LineKind::Ordinary);
    EXPECT_EQ(assembler.Feed("/* header */ SET TERM ^ ;").kind, LineKind::Set);
    EXPECT_EQ(assembler.Terminator(), "^");
}

struct SetTermCase {
    const char* command; // as it stands before the terminator that ends it
    const char* terminator;
};

void PrintTo(const SetTermCase& c, std::ostream* out) {
    *out << '"' << c.command << '"';
}

class SetTermTest : public ::testing::TestWithParam<SetTermCase> {};

TEST_P(SetTermTest, NamesTheNewTerminator) {
    EXPECT_EQ(TerminatorFromSetTerm(GetParam().command), GetParam().terminator);
}

// As isql-fb reads the command: the first word after the keyword, which may be abbreviated
// down to TERM; a command naming none restores ";".
INSTANTIATE_TEST_SUITE_P(
    Commands, SetTermTest,
    ::testing::Values(SetTermCase{"SET TERM ^ ", "^"}, SetTermCase{"SET TERM ^", "^"},
                      SetTermCase{"set term ; ", ";"}, SetTermCase{"SET TERM !!", "!!"},
                      SetTermCase{"SET TERM ^^", "^^"}, SetTermCase{"SET TERM  mM# ", "mM#"},
                      SetTermCase{"SET TERM ^ ignored", "^"}, SetTermCase{"SET\tTERM\t#", "#"},
                      SetTermCase{"SET TERMINATOR ^", "^"}, SetTermCase{"set termi !!", "!!"},
                      SetTermCase{"SET TERM^", "^"}, SetTermCase{"SET TERM ", ";"},
                      SetTermCase{"SET TERM", ";"}, SetTermCase{"set term  ", ";"}));

TEST(SentTextTest, EndsEveryLineWithCrLf) {
    EXPECT_EQ(SentText(""), "");
    EXPECT_EQ(SentText("A"), "A\r\n");
    EXPECT_EQ(SentText("A\nB"), "A\r\nB\r\n");
}

} // namespace
} // namespace norvane::update
