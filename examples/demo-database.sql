/* The demo product database as release 254 left it. Run with isql-fb on a new database. */

CREATE TABLE versions (
    update_date TIMESTAMP NOT NULL,
    data INTEGER NOT NULL
);

CREATE TABLE INFO_DOC (
    ID INTEGER NOT NULL PRIMARY KEY,
    NAME VARCHAR(80) NOT NULL,
    NOTE_U BLOB SUB_TYPE TEXT
);

CREATE TABLE PRICE_ITEM (
    ID INTEGER NOT NULL PRIMARY KEY,
    CODE VARCHAR(20) NOT NULL,
    NAME VARCHAR(120) NOT NULL,
    PRICE NUMERIC(15, 2) NOT NULL
);

INSERT INTO INFO_DOC (ID, NAME, NOTE_U) VALUES (10, 'Estimate cover sheet', 'Release 254 notes');
INSERT INTO PRICE_ITEM (ID, CODE, NAME, PRICE) VALUES (1, 'E1-1', 'Excavation, 1 m3', 12.50);
INSERT INTO PRICE_ITEM (ID, CODE, NAME, PRICE) VALUES (2, 'E1-2', 'Backfill, 1 m3', 7.25);
INSERT INTO PRICE_ITEM (ID, CODE, NAME, PRICE) VALUES (3, 'B2-7', 'Brick wall, 1 m2', 31.00);

INSERT INTO versions (update_date, data) VALUES ('2023-03-01 10:00:00', 253);
INSERT INTO versions (update_date, data) VALUES ('2024-02-15 10:00:00', 254);

COMMIT WORK;
