/* Release 255 is in place. */
INSERT INTO versions (update_date, data) VALUES (CURRENT_TIMESTAMP, 255);
COMMIT WORK;
