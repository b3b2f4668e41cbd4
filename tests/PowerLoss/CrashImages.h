#pragma once

// Power loss, replayed from a Trace of every write, sync and truncation of the
// store and its log: an image holds each file as of its last completed sync
// plus none, all, a random part or all with the last one torn of the writes
// after it. The shared-memory index is lost with the power.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

struct sqlite3_vfs;

namespace taskory::test {

enum class FileKind { database, log };

struct FileOperation {
  enum class Type { write, sync, truncate };
  FileKind file;
  Type type;
  int64_t offset; // where a write starts; the new size of a truncation
  std::string bytes;
};

// Records the operations on the files in one directory; files elsewhere
// (the crash images being checked) pass unrecorded.
class Trace {
public:
  // Starts a new trace of the files in `directory`.
  void watch(std::filesystem::path directory) {
    directory_ = std::move(directory);
    operations_.clear();
  }

  const std::vector<FileOperation> &operations() const { return operations_; }
  std::size_t size() const { return operations_.size(); }

  // Called by the recording VFS once the call beneath has succeeded.
  void record(std::string_view path, FileOperation operation) {
    if (std::filesystem::path(path).parent_path() == directory_)
      operations_.push_back(std::move(operation));
  }

private:
  std::filesystem::path directory_;
  std::vector<FileOperation> operations_;
};

// Makes a VFS over SQLite's "unix" one that reports to `trace`, the default
// VFS; nullptr if SQLite refused.
sqlite3_vfs *registerRecordingVFS(const char *name, Trace &trace);

struct CrashImage {
  std::string variant;
  std::string database;
  std::string log;
};

class CrashImages {
public:
  explicit CrashImages(const std::vector<FileOperation> &operations)
      : operations_(operations) {}

  // The images for power lost after the first `cut` operations. Cuts must
  // not go backwards from one call to the next.
  std::vector<CrashImage> at(std::size_t cut, std::mt19937 &random);

private:
  struct FileState {
    std::string durable;              // as of the last completed sync
    std::vector<std::size_t> pending; // operations after it
  };

  FileState &state(FileKind kind) {
    return kind == FileKind::database ? database_ : log_;
  }
  std::string contents(const FileState &file, const std::vector<bool> &kept,
                       bool tearLast) const;

  const std::vector<FileOperation> &operations_;
  std::size_t position_ = 0;
  FileState database_, log_;
};

} // namespace taskory::test
