// What the drivers for server engines share to settle a COMMIT whose answer
// the link lost: the token a writing transaction stores with its commit,
// the statements that create the table holding them, how long settling may
// take, and the state a commit that could not be settled reports.
#pragma once

#include <chrono>
#include <string>

namespace qz::access {

// SQLSTATE of a commit whose outcome could not be established.
inline constexpr char kCommitOutcomeUnknown[] = "08007";

// How long a COMMIT whose answer was lost waits for a server to settle it
// on: long enough for a standby to be promoted, short enough that a host
// program sees an answer while its user still waits for one.
inline constexpr std::chrono::seconds kCommitSettleWait{30};

// 128 bits from the system's generator, as 32 hex digits (uuid input on
// PostgreSQL, the key's text on MariaDB).
std::string NewCommitToken();

// CREATE TABLE of the commit-token table, as schema/postgresql.sql and
// schema/mariadb.sql have it.
extern const char* const kCreateCommitTokenTable;
extern const char* const kCreateMariaDbCommitTokenTable;

}  // namespace qz::access
