INSERT INTO versions (code, build, data, update_date) VALUES (1, 5, 255, '2021-01-01');
COMMIT WORK;
