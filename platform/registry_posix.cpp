#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <new>
#include <string>

#include "platform/registry.h"

struct TfRegistryKey {
  std::string path;
  REGSAM access;
};

namespace {

// A key path or value name part may not leave its folder or hide in it.
bool IsSafeName(const std::string& s) {
  return !s.empty() && s != "." && s != ".." && s.find('/') == std::string::npos;
}

LSTATUS FromErrno(int e) {
  if (e == ENOENT || e == ENOTDIR) return ERROR_FILE_NOT_FOUND;
  if (e == EACCES || e == EPERM || e == EROFS) return ERROR_ACCESS_DENIED;
  return ERROR_INVALID_PARAMETER;
}

bool MakeFolder(const std::string& path, bool* pfCreated) {
  if (mkdir(path.c_str(), 0700) == 0) {
    *pfCreated = true;
    return true;
  }
  struct stat st;
  return errno == EEXIST && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ValuePath(HKEY hKey, LPCSTR lpValueName, std::string* pPath) {
  std::string name = lpValueName != nullptr ? lpValueName : "";
  if (hKey == nullptr || hKey == HKEY_LOCAL_MACHINE || hKey == HKEY_CURRENT_USER || !IsSafeName(name)) return false;
  *pPath = hKey->path + "/" + name;
  return true;
}

}  // namespace

LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM samDesired, const SECURITY_ATTRIBUTES*,
                        HKEY* phkResult, LPDWORD lpdwDisposition) {
  if (phkResult == nullptr || lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  const char* root = std::getenv(TF_REGISTRY_ENV);
  if (root == nullptr || *root == '\0') return ERROR_FILE_NOT_FOUND;
  std::string path = root;
  if (hKey == HKEY_LOCAL_MACHINE) {
    path += "/HKLM";
  } else if (hKey == HKEY_CURRENT_USER) {
    path += "/HKCU";
  } else {
    return ERROR_INVALID_HANDLE;
  }
  bool fCreated = false;
  if (!MakeFolder(path, &fCreated)) return FromErrno(errno);
  std::string rest = lpSubKey;
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = rest.find('\\', start);
    if (end == std::string::npos) end = rest.size();
    std::string part = rest.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;  // "A\\\\B" and a trailing separator name the same key
    if (!IsSafeName(part)) return ERROR_INVALID_PARAMETER;
    path += "/" + part;
    fCreated = false;
    if (!MakeFolder(path, &fCreated)) return FromErrno(errno);
  }
  TfRegistryKey* pKey = new (std::nothrow) TfRegistryKey{path, samDesired};
  if (pKey == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  *phkResult = pKey;
  if (lpdwDisposition != nullptr) *lpdwDisposition = fCreated ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  std::string path;
  if (!ValuePath(hKey, lpValueName, &path)) return ERROR_INVALID_PARAMETER;
  if (!(hKey->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
  int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return FromErrno(errno);
  struct stat st;
  LSTATUS status = ERROR_SUCCESS;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > 0xFFFFFFFFLL) {
    status = ERROR_FILE_NOT_FOUND;
  } else {
    DWORD cbValue = static_cast<DWORD>(st.st_size);
    if (lpData != nullptr && *lpcbData < cbValue) {
      status = ERROR_MORE_DATA;
    } else if (lpData != nullptr) {
      DWORD cbRead = 0;
      while (cbRead < cbValue) {
        ssize_t n = read(fd, lpData + cbRead, cbValue - cbRead);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        cbRead += static_cast<DWORD>(n);
      }
      if (cbRead != cbValue) status = ERROR_ACCESS_DENIED;
    }
    if (lpcbData != nullptr) *lpcbData = cbValue;
    if (lpType != nullptr) *lpType = REG_BINARY;
  }
  close(fd);
  return status;
}

LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
  std::string path;
  if (!ValuePath(hKey, lpValueName, &path) || dwType != REG_BINARY) return ERROR_INVALID_PARAMETER;
  if (!(hKey->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  if (lpData == nullptr && cbData != 0) return ERROR_INVALID_PARAMETER;
  std::string partial = path + ".partial";
  unlink(partial.c_str());
  int fd = open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return FromErrno(errno);
  DWORD cbWritten = 0;
  while (cbWritten < cbData) {
    ssize_t n = write(fd, lpData + cbWritten, cbData - cbWritten);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    cbWritten += static_cast<DWORD>(n);
  }
  bool fOk = cbWritten == cbData;
  if (close(fd) != 0) fOk = false;
  if (fOk && rename(partial.c_str(), path.c_str()) == 0) return ERROR_SUCCESS;
  int e = errno;
  unlink(partial.c_str());
  return fOk ? FromErrno(e) : ERROR_ACCESS_DENIED;
}

LSTATUS RegCloseKey(HKEY hKey) {
  if (hKey == nullptr || hKey == HKEY_LOCAL_MACHINE || hKey == HKEY_CURRENT_USER) return ERROR_INVALID_HANDLE;
  delete hKey;
  return ERROR_SUCCESS;
}
