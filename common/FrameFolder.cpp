#include "common/FrameFolder.h"

#include "common/FileWrite.h"

namespace frames {
namespace {

constexpr char kExtension[] = ".bmp";
constexpr size_t kExtensionSize = sizeof kExtension - 1;

}  // namespace

std::string BitmapName(int64_t n) { return std::to_string(n) + kExtension; }

std::string BitmapPath(const std::string& folder, int64_t n) { return folder + BitmapName(n); }

std::vector<std::string> Bitmaps(const std::string& folder) { return fileio::EntriesEndingWith(folder, kExtension); }

std::unordered_map<std::string, std::string> BitmapsByNumber(const std::string& folder) {
  std::unordered_map<std::string, std::string> names;
  for (std::string& name : Bitmaps(folder)) {
    std::string number = name.substr(0, name.size() - kExtensionSize);
    const bool exact = name.compare(name.size() - kExtensionSize, kExtensionSize, kExtension) == 0;
    auto [it, added] = names.emplace(std::move(number), name);
    if (!added && exact) it->second = std::move(name);
  }
  return names;
}

std::vector<std::string> ClearBitmaps(const std::string& folder) {
  std::vector<std::string> errors;
  for (const std::string& name : Bitmaps(folder)) {
    std::string error;
    if (!fileio::RemoveFile(folder + name, &error)) errors.push_back(std::move(error));
  }
  return errors;
}

}  // namespace frames
