#include "sim/playerfolder.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "sim/paths.h"

namespace fs = std::filesystem;

bool SimReadPlayer(const fs::path& folder, SimPlayer* out, std::string* error) {
  const fs::path file = folder / kSimDescriptionFile;
  const std::string where = SimUtf8FromPath(file) + ": ";
  std::error_code ec;
  const uintmax_t size = fs::file_size(file, ec);
  if (ec) {
    if (error) *error = where + "cannot be read";
    return false;
  }
  if (size > kSimMaxDescriptionBytes) {
    if (error) *error = where + "description is larger than 64 KiB";
    return false;
  }
  std::ifstream in(file, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    if (error) *error = where + "cannot be read";
    return false;
  }
  SimPlayer p;
  std::string why;
  if (!SimParsePlayerDescription(text, &p.description, &why)) {
    if (error) *error = where + why;
    return false;
  }
  p.id = SimUtf8FromPath(folder.filename());
  p.folder = folder;
  *out = std::move(p);
  return true;
}

std::vector<SimPlayer> SimScanPlayers(const fs::path& root, std::vector<std::string>* errors) {
  std::vector<SimPlayer> players;
  std::error_code ec;
  fs::directory_iterator it(root, ec);
  if (ec) {
    if (errors) errors->push_back(SimUtf8FromPath(root) + ": player folder cannot be read");
    return players;
  }
  std::vector<fs::path> folders;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    std::error_code e2;
    if (it->is_directory(e2) && fs::exists(it->path() / kSimDescriptionFile, e2)) folders.push_back(it->path());
  }
  std::sort(folders.begin(), folders.end());
  for (const fs::path& f : folders) {
    SimPlayer p;
    std::string why;
    if (SimReadPlayer(f, &p, &why)) {
      players.push_back(std::move(p));
    } else if (errors) {
      errors->push_back(why);
    }
  }
  return players;
}

bool SimWritePlayer(const fs::path& root, const std::string& id, const SimPlayerDescription& description,
                    std::string* error) {
  if (!SimCheckFolderName(id, error) || !SimCheckPlayerDescription(description, error)) return false;
  const fs::path folder = root / SimPathFromUtf8(id);
  std::error_code ec;
  fs::create_directories(folder, ec);
  for (const SimStorageDescription& s : description.storages) {
    if (!ec) fs::create_directories(folder / SimPathFromUtf8(s.folder), ec);
  }
  if (ec) {
    if (error) *error = SimUtf8FromPath(folder) + ": cannot create folders";
    return false;
  }
  std::ofstream out(folder / kSimDescriptionFile, std::ios::binary | std::ios::trunc);
  out << SimFormatPlayerDescription(description);
  out.close();
  if (!out) {
    if (error) *error = SimUtf8FromPath(folder / kSimDescriptionFile) + ": cannot be written";
    return false;
  }
  return true;
}
