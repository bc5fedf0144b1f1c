// POSIX stand-in for the Win32 file calls: a HANDLE is a heap cell holding a
// file descriptor, so a stale or foreign handle is never mistaken for one.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/fileio.h"
#include "platform/text.h"

namespace {

constexpr uint32_t kFileMagic = 0x46494C45;  // "FILE"

struct FileCell {
  uint32_t magic;
  int fd;
};

FileCell* CellOf(HANDLE h) {
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return nullptr;
  auto* cell = static_cast<FileCell*>(h);
  return cell->magic == kFileMagic ? cell : nullptr;
}

std::string HostPath(LPCWSTR path) {
  std::string p = NarrowToUtf8(WStringView(path, WideLength(path)));
  for (char& c : p)
    if (c == '\\') c = '/';
  return p;
}

DWORD ErrorFromErrno(int e) {
  switch (e) {
    case ENOENT:
    case ENOTDIR:
      return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    default:
      return ERROR_INVALID_PARAMETER;
  }
}

}  // namespace

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD, void*, DWORD dwCreationDisposition, DWORD,
                   HANDLE) {
  if (lpFileName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  int flags = 0;
  const bool rd = dwDesiredAccess & GENERIC_READ;
  const bool wr = dwDesiredAccess & GENERIC_WRITE;
  flags = rd && wr ? O_RDWR : wr ? O_WRONLY : O_RDONLY;
  switch (dwCreationDisposition) {
    case CREATE_NEW:
      flags |= O_CREAT | O_EXCL;
      break;
    case CREATE_ALWAYS:
      flags |= O_CREAT | O_TRUNC;
      break;
    case OPEN_ALWAYS:
      flags |= O_CREAT;
      break;
    case OPEN_EXISTING:
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
  }
  const std::string path = HostPath(lpFileName);
  // Not blocking in open: a FIFO without a writer would wait for one forever.
  // Reads and writes block as usual once the file is open.
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0644);
  if (fd < 0) {
    SetLastError(ErrorFromErrno(errno));
    return INVALID_HANDLE_VALUE;
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return new FileCell{kFileMagic, fd};
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead, void*) {
  FileCell* cell = CellOf(hFile);
  if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = 0;
  if (cell == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // Like Windows, keep reading until the request is met or the file ends.
  DWORD total = 0;
  auto* out = static_cast<unsigned char*>(lpBuffer);
  while (total < nNumberOfBytesToRead) {
    const ssize_t n = ::read(cell->fd, out + total, nNumberOfBytesToRead - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      SetLastError(ErrorFromErrno(errno));
      if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = total;
      return FALSE;
    }
    if (n == 0) break;
    total += static_cast<DWORD>(n);
  }
  if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = total;
  return TRUE;
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten, void*) {
  FileCell* cell = CellOf(hFile);
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = 0;
  if (cell == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  DWORD total = 0;
  const auto* in = static_cast<const unsigned char*>(lpBuffer);
  while (total < nNumberOfBytesToWrite) {
    const ssize_t n = ::write(cell->fd, in + total, nNumberOfBytesToWrite - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      SetLastError(ErrorFromErrno(errno));
      if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = total;
      return FALSE;
    }
    total += static_cast<DWORD>(n);
  }
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = total;
  return TRUE;
}

DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod) {
  FileCell* cell = CellOf(hFile);
  if (cell == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_SET_FILE_POINTER;
  }
  int64_t distance;
  if (lpDistanceToMoveHigh != nullptr) {
    distance = static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*lpDistanceToMoveHigh)) << 32) |
                                    static_cast<uint32_t>(lDistanceToMove));
  } else {
    distance = lDistanceToMove;  // sign-extended, as Windows does without a high word
  }
  const int whence = dwMoveMethod == FILE_BEGIN ? SEEK_SET : dwMoveMethod == FILE_CURRENT ? SEEK_CUR : SEEK_END;
  const off_t pos = ::lseek(cell->fd, static_cast<off_t>(distance), whence);
  if (pos < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (lpDistanceToMoveHigh != nullptr) *lpDistanceToMoveHigh = static_cast<LONG>(static_cast<uint64_t>(pos) >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(static_cast<uint64_t>(pos));
}

DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  FileCell* cell = CellOf(hFile);
  struct stat st {};
  if (cell == nullptr || ::fstat(cell->fd, &st) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_FILE_SIZE;
  }
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  if (lpFileSizeHigh != nullptr) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(size);
}

BOOL GetFileAttributesExW(LPCWSTR lpFileName, GET_FILEEX_INFO_LEVELS fInfoLevelId, LPVOID lpFileInformation) {
  if (lpFileName == nullptr || lpFileInformation == nullptr || fInfoLevelId != GetFileExInfoStandard) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  struct stat st {};
  if (::stat(HostPath(lpFileName).c_str(), &st) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return FALSE;
  }
  auto* info = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(lpFileInformation);
  std::memset(info, 0, sizeof *info);
  info->dwFileAttributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  if (!S_ISDIR(st.st_mode) && (st.st_mode & S_IWUSR) == 0) info->dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  info->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  info->nFileSizeLow = static_cast<DWORD>(size);
  return TRUE;
}

BOOL DeleteFileW(LPCWSTR lpFileName) {
  if (lpFileName == nullptr || ::unlink(HostPath(lpFileName).c_str()) != 0) {
    SetLastError(lpFileName == nullptr ? ERROR_INVALID_PARAMETER : ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

BOOL CloseHandle(HANDLE hObject) {
  FileCell* cell = CellOf(hObject);
  if (cell == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  ::close(cell->fd);
  cell->magic = 0;
  delete cell;
  return TRUE;
}

DWORD GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer) {
  const char* folder = std::getenv("TMPDIR");
  std::string text = folder != nullptr && *folder != 0 ? folder : "/tmp";
  if (text.back() != '/') text += '/';
  const WString wide = WidenUtf8(text);
  if (wide.size() + 1 > nBufferLength || lpBuffer == nullptr) return static_cast<DWORD>(wide.size() + 1);
  wide.copy(lpBuffer, wide.size());
  lpBuffer[wide.size()] = 0;
  return static_cast<DWORD>(wide.size());
}
