#pragma once

// Exclusive flock locks, as Morvane and Codex take them on their lock files.
namespace files {

// Takes an exclusive lock on the open file, trying again for up to waitMs (0: once); 0, or
// the errno of the last try (EWOULDBLOCK while another holder keeps it).
int lockExclusive(int fd, int waitMs);

} // namespace files
