// Files the program reads and writes, none of which may hold it up or lead it
// where the user did not mean: bounded reads of regular files only, links
// followed only when they are the user's own, and whole-file replacement that
// a crash, a signal or a full disk cannot leave half done.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>

namespace platform {

// Replaces the file at `path` by `bytes`: writes a temporary file in the same
// folder, flushes it to the disk, then renames it over `path`, so that the
// file holds either its old or its new content whatever happens. A new file
// gets the permissions a newly created file would get; an existing one keeps
// its own. Returns "" on success, else the reason (the old file untouched).
// `before_rename` (tests) runs just before the rename; false abandons the
// replacement there, as a crash would. The new content gets a name only when
// it is complete (an unnamed file linked in, where the system has them), and
// the termination signals wait while names change, so an interrupted save
// leaves no temporary file behind. A symbolic link at `path` is replaced, not
// followed, and gives no permissions.
std::string ReplaceFileContents(const std::string& path, std::span<const uint8_t> bytes,
                                const std::function<bool()>& before_rename = {});

// Where a name leads when symbolic links are followed only while the user
// running the program owns each of them (another user's link may have been
// planted to make the program read or write that user's choice of file).
struct LinkTarget {
  enum State {
    kReached,   // `path` names something that is not a link (a file, a FIFO, ...)
    kNone,      // nothing by that name, not even a link
    kDangling,  // a link (or a chain of the user's own links) that leads nowhere
    kForeign,   // a link owned by another user, or a chain too long to follow
  };
  State state = kNone;
  std::string path;  // the end of the chain when kReached, else the name given
};
LinkTarget FollowOwnLinks(const std::string& path);

enum class ReadStatus {
  kRead,     // *bytes holds the file (at most `limit` bytes of it)
  kMissing,  // no such file
  kRefused,  // not a regular file (a FIFO, a device, a folder), or a link where none may be
  kFailed,   // could not be opened or read; *error says why
};

// Reads at most `limit` bytes of the regular file at `path`. The name is
// opened first, without waiting (and, with Links::kRefuse, without following
// a link in its last part), and only the open file is checked, so that a FIFO or a device put in
// place of the name between a check and the open cannot hold the caller.
// *more (when not null) tells whether the file holds more than `limit` bytes.
enum class Links { kFollow, kRefuse };
ReadStatus ReadRegularFile(const std::filesystem::path& path, size_t limit, Links links, std::string* bytes,
                           bool* more = nullptr, std::string* error = nullptr);

// Creates `path` empty unless something (a file, a link, dangling or not)
// already has that name; never creates a file through a link.
void CreateEmptyFile(const std::string& path);

}  // namespace platform
