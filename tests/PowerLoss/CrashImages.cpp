#include "PowerLoss/CrashImages.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace taskory::test {

namespace {

// `bytes` of a write reach the file: all of it, or the first part of a torn
// one (which the disk may have stopped writing anywhere).
void apply(std::string &file, const FileOperation &operation,
           std::size_t bytes) {
  const auto offset = static_cast<std::size_t>(operation.offset);
  if (operation.type == FileOperation::Type::truncate) {
    file.resize(offset);
    return;
  }
  if (operation.type != FileOperation::Type::write)
    return;
  bytes = std::min(bytes, operation.bytes.size());
  if (file.size() < offset + bytes)
    file.resize(offset + bytes, '\0');
  std::memcpy(file.data() + offset, operation.bytes.data(), bytes);
}

} // namespace

std::string CrashImages::contents(const FileState &file,
                                  const std::vector<bool> &kept,
                                  bool tearLast) const {
  std::string result = file.durable;
  std::size_t lastWrite = file.pending.size();
  for (std::size_t i = 0; i < file.pending.size(); ++i)
    if (operations_[file.pending[i]].type == FileOperation::Type::write)
      lastWrite = i;
  for (std::size_t i = 0; i < file.pending.size(); ++i) {
    if (!kept[i])
      continue;
    const FileOperation &operation = operations_[file.pending[i]];
    std::size_t bytes = operation.bytes.size();
    if (tearLast && i == lastWrite)
      bytes = bytes / 2 / 512 * 512; // the first sectors only
    apply(result, operation, bytes);
  }
  return result;
}

std::vector<CrashImage> CrashImages::at(std::size_t cut, std::mt19937 &random) {
  assert(cut >= position_ && cut <= operations_.size());
  for (; position_ < cut; ++position_) {
    const FileOperation &operation = operations_[position_];
    FileState &file = state(operation.file);
    if (operation.type != FileOperation::Type::sync) {
      file.pending.push_back(position_);
      continue;
    }
    for (std::size_t index : file.pending)
      apply(file.durable, operations_[index], operations_[index].bytes.size());
    file.pending.clear();
  }

  auto image = [&](std::string variant, auto keep, bool tearLast) {
    CrashImage made{std::move(variant), {}, {}};
    for (FileKind kind : {FileKind::database, FileKind::log}) {
      const FileState &file = state(kind);
      std::vector<bool> kept(file.pending.size());
      for (std::size_t i = 0; i < kept.size(); ++i)
        kept[i] = keep();
      (kind == FileKind::database ? made.database : made.log) =
          contents(file, kept, tearLast);
    }
    return made;
  };
  std::bernoulli_distribution coin(0.5);
  return {image(
              "synced only", [] { return false; }, false),
          image(
              "everything written", [] { return true; }, false),
          image(
              "a random part of the unsynced writes",
              [&] { return coin(random); }, false),
          image(
              "last write torn", [] { return true; }, true)};
}

} // namespace taskory::test
