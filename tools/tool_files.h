// Files as both console tools read and write them, on UTF-8 paths.
//
// Reading: whole files, and why a path is no file to read. Writing: an output
// goes through symbolic links to the file they name, must be (or become) a
// regular file, and is written under a temporary name beside that file and
// renamed over it only when complete, so that a failure leaves any earlier
// output as it was. Every failure comes with its real cause (the system's
// words for a failed write, "it is a folder", ...), never just a file name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace toolfiles {

// Why `path` cannot be read as a file ("no such file", "it is a folder",
// "not a regular file"); empty when it can be.
std::string UnreadableReason(const std::string& path);

// The whole file. False with *error the cause.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error);

// The file's whole size, as the transfer measures it.
bool FileSize(const std::string& path, uint64_t* size);

// True when the two paths name one file: spelt alike, the same file on disk,
// or the same place once links and dots are resolved (also for files that do
// not exist yet).
bool SameFile(const std::string& a, const std::string& b);

bool RemoveFile(const std::string& path);

// True when something (a file, a folder, a link, even a dangling one) is at
// `path`.
bool PathTaken(const std::string& path);

// Where writing `out` puts the bytes: the file at the end of its chain of
// symbolic links, or `out` itself.
std::string OutputTarget(const std::string& out);
// The temporary name an output is written under before it is renamed into
// place: OutputTarget(out) + ".partial".
std::string PartialPath(const std::string& out);

enum class Access {
  kShared,     // as the process's file-creation mask allows
  kOwnerOnly,  // readable and writable by the owner alone (private keys)
};

// Writes `bytes` into PartialPath(out), created anew. Refuses an output that
// exists and is not a regular file. On failure nothing is left behind and
// *error is "cannot write 'OUT': CAUSE".
bool WritePartial(const std::string& out, const void* bytes, size_t size, Access access, std::string* error);
// Renames PartialPath(out) over OutputTarget(out); removes the partial file
// on failure.
bool CommitPartial(const std::string& out, std::string* error);
// Both steps: `out` holds the bytes, or is left as it was.
bool WriteOutput(const std::string& out, const void* bytes, size_t size, Access access, std::string* error);

}  // namespace toolfiles
