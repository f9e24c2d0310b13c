INSERT INTO versions (code, build, data, update_date) VALUES (1, 3, 253, '2019-06-01');
COMMIT WORK;
