INSERT INTO versions (code, build, data, update_date) VALUES (1, 4, 254, '2020-01-01');
COMMIT WORK;
