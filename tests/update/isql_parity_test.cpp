#include "update/script_executor.h"

#include "base/text.h"
#include "update_fixture.h"

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace norvane::update {
namespace {

// Scripts written the way Firebird DDL scripts are written by hand, run in order.
std::string WithCrLf(std::string_view text) {
    return ReplaceAll(text, "\n", "\r\n");
}

const std::string Schema = WithCrLf(R"(/*
 * Estimate catalogue: schema.
 * Copyright (c) the catalogue authors; see the file LICENCE.
 * Distributed under the Public Licence (the "Licence");
 * you may not use this file except in compliance with the Licence.
 */

SET SQL DIALECT 3;
SET NAMES UTF8;

/* Release 255 */
SET AUTODDL ON;

CREATE DOMAIN D_ID AS INTEGER NOT NULL;
CREATE DOMAIN D_NAME AS VARCHAR(80);
CREATE DOMAIN D_MONEY AS NUMERIC(15, 2) DEFAULT 0;
CREATE DOMAIN D_FLAG AS SMALLINT DEFAULT 0 CHECK (VALUE IN (0, 1));

CREATE TABLE UNITS (
    ID      D_ID,
    CODE    VARCHAR(10) NOT NULL,   -- short code; shown in reports
    NAME    D_NAME,
    CONSTRAINT PK_UNITS PRIMARY KEY (ID)
);

CREATE TABLE ITEMS (
    ID        D_ID,
    UNIT_ID   INTEGER,
    NAME      D_NAME,
    PRICE     D_MONEY,
    ARCHIVED  D_FLAG,
    NOTE      VARCHAR(400),
    CONSTRAINT PK_ITEMS PRIMARY KEY (ID),
    CONSTRAINT FK_ITEMS_UNIT FOREIGN KEY (UNIT_ID) REFERENCES UNITS (ID)
        ON UPDATE CASCADE    -- keep the links;
        ON DELETE SET NULL
);

CREATE GENERATOR GEN_UNITS;
CREATE SEQUENCE GEN_ITEMS;
SET GENERATOR GEN_UNITS TO 10;

CREATE INDEX IX_ITEMS_NAME ON ITEMS (NAME);
CREATE DESCENDING INDEX IX_ITEMS_PRICE ON ITEMS (PRICE);

SET TERM ^ ;

CREATE TRIGGER UNITS_BI FOR UNITS
ACTIVE BEFORE INSERT POSITION 0
AS
BEGIN
  /* a key from the generator;
     keys the script gives stay */
  IF (NEW.ID IS NULL) THEN
    NEW.ID = GEN_ID(GEN_UNITS, 1);
END^

CREATE TRIGGER ITEMS_BI FOR ITEMS
ACTIVE BEFORE INSERT POSITION 0
AS
BEGIN
  IF (NEW.ID IS NULL) THEN NEW.ID = NEXT VALUE FOR GEN_ITEMS;
  -- blanks at the end of a name are never wanted;
  NEW.NAME = TRIM(NEW.NAME);
END^

SET TERM ; ^

COMMENT ON TABLE ITEMS IS 'Priced items; one row per entry';

INSERT INTO UNITS (ID, CODE, NAME) VALUES (100, 'set', 'a set;
SET TERM ^ ;
  of parts;');

SET STATISTICS INDEX IX_ITEMS_NAME;

COMMIT WORK;
)");

const std::string Procedures = WithCrLf(R"(-- Procedures of the catalogue.
-- Run after the schema; every body between SET TERM !! lines.

SET TERM !! ;

CREATE PROCEDURE ADD_UNIT (
    CODE VARCHAR(10),
    NAME VARCHAR(80))
RETURNS (NEW_ID INTEGER)
AS
BEGIN
  INSERT INTO UNITS (CODE, NAME) VALUES (:CODE, :NAME)
  RETURNING ID INTO :NEW_ID;
  SUSPEND;
END !!

CREATE PROCEDURE ITEM_PRICE (ITEM_ID INTEGER)
RETURNS (PRICE NUMERIC(15, 2))
AS
  DECLARE VARIABLE ARCHIVED SMALLINT;
BEGIN
  /* archived items cost nothing;
     the caller greys them out */
  SELECT PRICE, ARCHIVED FROM ITEMS WHERE ID = :ITEM_ID
  INTO :PRICE, :ARCHIVED;
  IF (ARCHIVED = 1) THEN PRICE = 0;
  SUSPEND;
END !!   -- end of ITEM_PRICE

CREATE OR ALTER PROCEDURE LABEL (ITEM_ID INTEGER)
RETURNS (TEXT VARCHAR(200))
AS
BEGIN
  SELECT 'Item ' || I.NAME || ' (' || U.CODE || '); ok'
  FROM ITEMS I LEFT JOIN UNITS U ON U.ID = I.UNIT_ID
  WHERE I.ID = :ITEM_ID
  INTO :TEXT;
  SUSPEND;
END !!

SET TERM ; !!

CREATE VIEW PRICED_ITEMS (ID, NAME, PRICE) AS
  SELECT ID, NAME, PRICE FROM ITEMS
  WHERE ARCHIVED = 0;   -- archived ones are hidden

SET TERM ^^ ;
EXECUTE BLOCK AS
  DECLARE VARIABLE I INTEGER = 1;
BEGIN
  WHILE (I <= 3) DO
  BEGIN
    INSERT INTO UNITS (ID, CODE, NAME) VALUES (:I, 'U' || :I, 'unit ' || :I);
    I = I + 1;
  END
END^^
SET TERM ;^^

-- end of script
)");

// Line ends as on Linux: LF alone.
const std::string Data = R"(/* Catalogue data, release 255 */
SET SQL DIALECT 3;

INSERT INTO UNITS (CODE, NAME) VALUES ('m', 'metre');
INSERT INTO UNITS (CODE, NAME) VALUES ('kg', 'kilogram'); -- key from GEN_UNITS
INSERT INTO UNITS (CODE, NAME)
  VALUES ('h',
          'hour; of work');
SELECT NEW_ID FROM ADD_UNIT('t', 'tonne');

INSERT INTO ITEMS (UNIT_ID, NAME, PRICE, NOTE)
SELECT ID, 'Concrete C20/25  ', 85.50, 'per m3; delivered' FROM UNITS WHERE CODE = 'U1';
INSERT INTO ITEMS (UNIT_ID, NAME, PRICE, NOTE) VALUES (2, 'Rebar', 1.20, q'{it's "A500C"; 12 mm}');
INSERT INTO ITEMS (UNIT_ID, NAME, PRICE, NOTE) VALUES (3, 'Labour', 12, '-- no comment; /* nor this */');
INSERT INTO ITEMS (UNIT_ID, NAME, PRICE, ARCHIVED) VALUES (1, 'Old mix', 70, 1);

/* prices rise by a tenth;
   archived items keep theirs */
UPDATE ITEMS
SET PRICE = PRICE * 1.1
-- WHERE ID = 1;
WHERE ARCHIVED = 0;

UPDATE ITEMS SET NOTE = 'checked'
WHERE NAME = 'Old mix';

DELETE FROM ITEMS WHERE NAME = 'nothing of that name';
COMMIT WORK;
-- end of data
)";

// Text as the pictures compare it: lines trimmed, blank lines and the CREATE DATABASE comment
// dropped, runs of blanks as one. Indentation, blank lines and line ends are not compared:
// statements reach the server as trimmed lines.
std::string Normalized(const std::string& text) {
    std::string normalized;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string_view line =
            TrimControl(std::string_view(text).substr(start, end - start));
        if (!line.empty() && !line.starts_with("/* CREATE DATABASE")) {
            for (std::size_t i = 0; i < line.size(); ++i) {
                if (line[i] != ' ' || line[i + 1] != ' ')
                    normalized += line[i];
            }
            normalized += '\n';
        }
        start = end + 1;
    }
    return normalized;
}

// What isql-fb shows of a database: its extracted metadata and what the query prints.
std::string Picture(testing::TestDatabase& database, std::string_view query) {
    return Normalized(database.ExtractMetadata()) +
           Normalized(database.Output("set list on;\n" + std::string(query)));
}

// The catalogue's picture: every table's rows, the generators and what the procedures and
// the view return.
std::string Picture(testing::TestDatabase& database) {
    return Picture(database,
                   "select * from UNITS order by ID;\n"
                   "select * from ITEMS order by ID;\n"
                   "select gen_id(GEN_UNITS, 0) as UNITS_KEY, gen_id(GEN_ITEMS, 0) as "
                   "ITEMS_KEY from rdb$database;\n"
                   // isql-fb breaks a literal's lines with LF, the executor with CR LF.
                   "select count(*) as LITERAL_KEPT from UNITS where replace(replace(NAME, "
                   "ascii_char(13), ''), ascii_char(10), '') = 'a set;SET TERM ^ ;  of "
                   "parts;';\n"
                   "select * from ITEM_PRICE(1);\nselect * from ITEM_PRICE(4);\n"
                   "select * from LABEL(2);\nselect * from PRICED_ITEMS order by ID;\n"
                   "select cast(rdb$description as varchar(80)) as DESCRIPTION from "
                   "rdb$relations where rdb$relation_name = 'ITEMS';\n");
}

class IsqlParityTest : public UpdateFixture {};

TEST_F(IsqlParityTest, ScriptsLeaveWhatIsqlLeaves) {
    testing::TestDatabase byIsql;
    const std::pair<const char*, const std::string&> scripts[] = {
        {"255.01.sql", Schema}, {"255.02.sql", Procedures}, {"255.03.sql", Data}};
    for (const auto& [name, text] : scripts) {
        const std::string path = Write(name, text);
        EXPECT_EQ(ExecuteScript(Context(), path, std::chrono::steady_clock::now()).failures, 0)
            << name << "\n"
            << (std::filesystem::exists(path + ".log") ? testing::ReadFile(path + ".log") : "");
        byIsql.Execute(text);
    }
    globDB.reset();

    const std::string expected = Picture(byIsql);
    // The scripts did what they say: rows, generator steps and the procedures' results.
    for (const char* part :
         {"hour; of work", "it's \"A500C\"; 12 mm", "-- no comment; /* nor this */",
          "Concrete C20/25", "Item Rebar (U2); ok", "UNITS_KEY 14", "ITEMS_KEY 4", "LITERAL_KEPT 1",
          "Priced items; one row per entry"})
        EXPECT_NE(expected.find(part), std::string::npos) << part << "\n" << expected;
    EXPECT_EQ(Picture(database), expected);
}

// One script of lines as isql-fb reads them, run by the executor and by isql-fb on fresh
// databases.
struct ParityCase {
    const char* name;
    std::string script;
    /// What isql-fb prints of the rows the script leaves.
    std::string query;
    /// A part of that print the script's statements make: proof that they ran.
    std::vector<std::string> shown;
};

void PrintTo(const ParityCase& c, std::ostream* out) {
    *out << c.name;
}

class IsqlParityCaseTest : public UpdateFixture,
                           public ::testing::WithParamInterface<ParityCase> {};

TEST_P(IsqlParityCaseTest, LeavesWhatIsqlLeaves) {
    const ParityCase& c = GetParam();
    const std::string path = Write("255.01.sql", c.script);
    EXPECT_EQ(ExecuteScript(Context(), path, std::chrono::steady_clock::now()).failures, 0)
        << (std::filesystem::exists(path + ".log") ? testing::ReadFile(path + ".log") : "");
    globDB.reset();
    testing::TestDatabase byIsql;
    byIsql.Execute(c.script);

    const std::string expected = Picture(byIsql, c.query);
    for (const std::string& part : c.shown)
        EXPECT_NE(expected.find(part), std::string::npos) << part << "\n" << expected;
    EXPECT_EQ(Picture(database, c.query), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, IsqlParityCaseTest,
    ::testing::Values(
        ParityCase{
            "StatementsShareALine",
            "create table T (ID integer not null primary key, S varchar(40)); insert into "
            "T values (1, 'one; two');\n"
            "insert into T values (2, 'x'); insert into T values (3, '/* y; */'); commit;\n"
            "DELETE FROM T WHERE ID = 2; update T set S = S || ';' where ID = 3; -- z;\n"
            "update T\nset S = S || '!'; create generator G; set generator G to 7;\n"
            "commit; create index IX_T_S on T (S); /* a; */ create view V as select ID from T;\n",
            "select * from T order by ID;\nselect gen_id(G, 0) as G_KEY from "
            "rdb$database;\nselect count(*) as V_ROWS from V;\n",
            {"S one; two!", "S /* y; */;!", "G_KEY 7", "V_ROWS 2", "IX_T_S"}},
        ParityCase{"TerminatorStartsALine",
                   "create table T (ID integer, S varchar(40));\n"
                   "set term ^ ;\n"
                   "create procedure ADD_ROW (ID integer) as\nbegin\n"
                   "  insert into T values (:ID, 'added; by procedure');\nend\n"
                   "^ create trigger T_BI for T before insert as\nbegin\n"
                   "  new.S = coalesce(new.S, 'trigger');\nend\n"
                   "^ set term ; ^\n"
                   "execute procedure ADD_ROW(1); insert into T (ID) values (2);\n",
                   "select * from T order by ID;\n",
                   {"S added; by procedure", "S trigger", "ADD_ROW", "T_BI"}},
        ParityCase{
            "SetTermNamingNothing",
            "set term ;\n"
            "create table T (ID integer);\n"
            "set term ^;\n"
            "create procedure P as begin insert into T values (1); end^\n"
            "set term ^;\n"
            "insert into T values (2);\n"
            "SET TERM ^ ;\n"
            "execute block as begin insert into T values (3); end^\n"
            "SET TERM ^ ;\n"
            "insert into T values (4); execute procedure P;\n",
            "select cast(list(ID) as varchar(20)) as IDS from (select ID from T order by ID);\n",
            {"IDS 1,2,3,4"}},
        ParityCase{
            "SetCommandThenStatement",
            "set list on; create table T (ID integer, S varchar(20));\n"
            "SET NAMES UTF8; SET SQL DIALECT 3; insert into T values (1, 'a');\n"
            "set autoddl on; set term ^ ; execute block as begin insert into T values (2, "
            "'b'); end^ set term ; ^\n"
            "set list off; insert into T values (3, 'c'); commit;\n",
            "select cast(list(S) as varchar(20)) as S_LIST from (select S from T order by ID);\n",
            {"S_LIST a,b,c"}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace norvane::update
