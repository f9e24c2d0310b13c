#pragma once

namespace norvane::db {

class Database;

/// Makes sure the next table created gets an id no earlier table left pages for.
///
/// A CREATE TABLE cut off inside its commit (the process killed, the power lost) leaves the
/// pages the engine had already given the new table: the engine records them at once, in a
/// transaction of its own. The table itself and the engine's step to its next table id go
/// with the cut-off transaction. The next CREATE TABLE takes the same id again and meets those
/// pages: with a key it fails ("cannot create index"), without one it makes a table whose
/// columns cannot be used; and so on every later run. A table creation that fails on such an
/// id makes the engine pass over it for the rest of the attachment, and one that succeeds
/// moves the next id on for good: so a key-bearing table of the installer's own is made and
/// dropped again until the next id is clear.
///
/// Does nothing on a database without such ids; to be called on the attachment that creates
/// tables next, before it does. Raises the client's error when the ids cannot be skipped.
void SkipTableIdsOfInterruptedCreates(Database& database);

} // namespace norvane::db
