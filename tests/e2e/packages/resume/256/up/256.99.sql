INSERT INTO versions (code, build, data, update_date) VALUES (1, 6, 256, '2022-01-01');
COMMIT WORK;
