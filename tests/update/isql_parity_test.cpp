#include "update/script_executor.h"

#include "base/text.h"
#include "update_fixture.h"

#include <filesystem>

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

// What isql-fb shows of a database: its extracted metadata, every table's rows, the
// generators and what the procedures and the view return. Indentation, blank lines and line
// ends are not compared: statements reach the server as trimmed lines.
std::string Picture(testing::TestDatabase& database) {
    std::string picture;
    auto add = [&](const std::string& text) {
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
                        picture += line[i];
                }
                picture += '\n';
            }
            start = end + 1;
        }
    };
    add(database.ExtractMetadata());
    add(database.Output("set list on;\n"
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
                        "rdb$relations where rdb$relation_name = 'ITEMS';\n"));
    return picture;
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

} // namespace
} // namespace norvane::update
