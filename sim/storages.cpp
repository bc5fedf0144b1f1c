// Storages (a player's storage folders and the files in them), their
// enumerator and their globals; Insert3 copies a file into a storage folder,
// Read copies a stored file back to the computer and Delete removes it.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#include "sim/comobject.h"
#include "sim/filecopy.h"
#include "sim/objects.h"
#include "sim/paths.h"

namespace fs = std::filesystem;

namespace {

// One entry of a storage enumeration: a storage folder, or a file in one.
struct StorageEntry {
  size_t storage;
  fs::path file;
};

fs::path StoragePath(const SimPlayer& player, size_t storage) {
  return player.folder / SimPathFromUtf8(player.description.storages.at(storage).folder);
}

// Folders are told apart as descriptions tell them apart: ASCII case-blind.
bool SameFolderName(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

// Temporary files of copies under way are no storages of their own.
bool IsPartial(const fs::path& name) {
  const std::string s = SimUtf8FromPath(name);
  return s.size() > 1 && s[0] == '.' && s.ends_with(".tfsim-partial");
}

class StorageEnum final : public IWMDMEnumStorage, public SimObject {
 public:
  StorageEnum(SimPlayerRef player, std::vector<StorageEntry> entries, size_t next)
      : player_(std::move(player)), entries_(std::move(entries)), next_(next) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IWMDMEnumStorage) return E_NOINTERFACE;
    *ppv = static_cast<IWMDMEnumStorage*>(this);
    addRef();
    return S_OK;
  }
  SIM_REFCOUNTING

  HRESULT STDMETHODCALLTYPE Next(ULONG celt, IWMDMStorage** ppStorage, ULONG* pceltFetched) override {
    return SimEnumNext(
        celt, ppStorage, pceltFetched, entries_.size(), &next_,
        [&] { return SimStillPresent(player_) ? S_OK : kSimDeviceGone; },
        [&](size_t i, IWMDMStorage** out) {
          const StorageEntry& e = entries_[i];
          return SimNewStorage(player_, e.storage, e.file, out);
        });
  }

  HRESULT STDMETHODCALLTYPE Skip(ULONG celt, ULONG* pceltFetched) override {
    return SimEnumSkip(celt, pceltFetched, entries_.size(), &next_);
  }

  HRESULT STDMETHODCALLTYPE Reset() override {
    next_ = 0;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Clone(IWMDMEnumStorage** ppEnumStorage) override {
    if (ppEnumStorage == nullptr) return E_INVALIDARG;
    *ppEnumStorage = new (std::nothrow) StorageEnum(player_, entries_, next_);
    return *ppEnumStorage != nullptr ? S_OK : E_OUTOFMEMORY;
  }

 private:
  const SimPlayerRef player_;
  const std::vector<StorageEntry> entries_;
  size_t next_;
};

class Globals final : public IWMDMStorageGlobals, public SimObject {
 public:
  Globals(SimPlayerRef player, size_t storage) : player_(std::move(player)), storage_(storage) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IWMDMStorageGlobals) return E_NOINTERFACE;
    *ppv = static_cast<IWMDMStorageGlobals*>(this);
    addRef();
    return S_OK;
  }
  SIM_REFCOUNTING

  HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD*) override { return WMDM_E_NOTSUPPORTED; }
  HRESULT STDMETHODCALLTYPE GetSerialNumber(PWMDMID, BYTE*) override { return WMDM_E_NOTSUPPORTED; }

  HRESULT STDMETHODCALLTYPE GetTotalSize(DWORD* pdwTotalSizeLow, DWORD* pdwTotalSizeHigh) override {
    return space(false, pdwTotalSizeLow, pdwTotalSizeHigh);
  }

  HRESULT STDMETHODCALLTYPE GetTotalFree(DWORD* pdwFreeLow, DWORD* pdwFreeHigh) override {
    return space(true, pdwFreeLow, pdwFreeHigh);
  }

  HRESULT STDMETHODCALLTYPE GetTotalBad(DWORD* pdwBadLow, DWORD* pdwBadHigh) override {
    if (pdwBadLow == nullptr || pdwBadHigh == nullptr) return E_INVALIDARG;
    if (!SimStillPresent(player_)) return kSimDeviceGone;
    *pdwBadLow = *pdwBadHigh = 0;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetStatus(DWORD* pdwStatus) override {
    if (pdwStatus == nullptr) return E_INVALIDARG;
    if (!SimStillPresent(player_)) {
      *pdwStatus = WMDM_STATUS_DEVICE_NOTPRESENT;
      return S_OK;
    }
    const bool ready = SimPlayerReady(*player_) && SimStorageReady(*player_, storage_);
    *pdwStatus = ready ? WMDM_STATUS_READY : WMDM_STATUS_BUSY;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Initialize(UINT, IWMDMProgress*) override { return WMDM_E_NOTSUPPORTED; }

 private:
  // The host's figures for the file system that holds the storage folder.
  HRESULT space(bool free, DWORD* low, DWORD* high) const {
    if (low == nullptr || high == nullptr) return E_INVALIDARG;
    if (!SimStillPresent(player_)) return kSimDeviceGone;
    std::error_code ec;
    const fs::space_info info = fs::space(StoragePath(*player_, storage_), ec);
    if (ec) return E_FAIL;
    const uint64_t bytes = free ? info.available : info.capacity;
    *low = static_cast<DWORD>(bytes);
    *high = static_cast<DWORD>(bytes >> 32);
    return S_OK;
  }

  const SimPlayerRef player_;
  const size_t storage_;
};

// Turns a copy's chunk reports into calls on the caller's progress object
// (which may be null), noting each call in `calls` when given.
class ProgressObserver : public SimCopyObserver {
 public:
  ProgressObserver(uint32_t chunkDelayMs, IWMDMProgress* progress, std::vector<std::string>* calls)
      : chunkDelayMs_(chunkDelayMs), progress_(progress), calls_(calls) {}

  bool begun() const { return begun_; }

  void begin(uint64_t total) override {
    // Ticks are bytes, scaled down only for files beyond 32 bits.
    while ((total >> shift_) > 0xFFFFFFFFu) ++shift_;
    begun_ = true;
    note("Begin(" + std::to_string(ticks(total)) + ")");
    if (progress_ != nullptr) progress_->Begin(ticks(total));
  }

  HRESULT afterChunk(uint64_t done, uint64_t total) override {
    if (chunkDelayMs_ != 0) std::this_thread::sleep_for(std::chrono::milliseconds(chunkDelayMs_));
    // An empty file has no progress to report, and an estimate of 0 ticks
    // gives the caller nothing to divide by.
    if (total != 0) {
      note("Progress(" + std::to_string(ticks(done)) + ")");
      if (progress_ != nullptr) {
        const HRESULT hr = progress_->Progress(ticks(done));
        if (FAILED(hr)) return hr;  // the caller cancelled
      }
    }
    return S_OK;
  }

  void end() {
    note("End()");
    if (progress_ != nullptr) progress_->End();
  }

 private:
  DWORD ticks(uint64_t bytes) const { return static_cast<DWORD>(bytes >> shift_); }
  void note(std::string call) {
    if (calls_ != nullptr) calls_->push_back(std::move(call));
  }

  const uint32_t chunkDelayMs_;
  IWMDMProgress* progress_;
  std::vector<std::string>* calls_;
  unsigned shift_ = 0;
  bool begun_ = false;
};

// Insert3's observer: progress as any copy, and the transfer faults.
class InsertObserver final : public ProgressObserver {
 public:
  InsertObserver(const SimPlayer& player, const SimFaults& faults, IWMDMProgress* progress, SimInsertRecord* record)
      : ProgressObserver(faults.chunkDelayMs, progress, &record->progressCalls), player_(player), faults_(faults) {}

  HRESULT afterChunk(uint64_t done, uint64_t total) override {
    const HRESULT hr = ProgressObserver::afterChunk(done, total);
    if (FAILED(hr)) return hr;
    if (faults_.removeDuringTransfer && reached(faults_.removeAfter, done, total)) {
      SimUnplugPlayer(player_.id);
      return kSimDeviceNotConnected;
    }
    if (faults_.insertFails && reached(faults_.insertFailAfter, done, total)) return kSimGeneralFailure;
    return S_OK;
  }

 private:
  static bool reached(uint64_t at, uint64_t done, uint64_t total) {
    return done >= std::min(at == kSimHalfway ? total / 2 : at, total);
  }

  const SimPlayer& player_;
  const SimFaults faults_;
};

// Copies `source` to `destination` with Begin/Progress/End on `progress`
// (which may be null), holding it for the length of the copy.
HRESULT CopyWithProgress(const fs::path& source, const fs::path& destination, uint32_t chunkBytes,
                         IWMDMProgress* progress, ProgressObserver* observer) {
  if (progress != nullptr) SimHold(progress);
  const HRESULT hr = SimCopyFile(source, destination, chunkBytes, observer);
  if (observer->begun()) observer->end();
  if (progress != nullptr) SimDrop(progress);
  return hr;
}

// The write faults that leave a wrong file on the player after a good copy:
// the file cut short, then one byte inverted.
HRESULT SpoilWrittenFile(const fs::path& file, const SimFaults& faults) {
  std::error_code ec;
  uint64_t size = fs::file_size(file, ec);
  if (ec) return E_FAIL;
  if (faults.shortWrite) {
    const uint64_t missing = std::min(faults.shortBy == kSimHalfway ? size / 2 : faults.shortBy, size);
    size -= missing;
    fs::resize_file(file, size, ec);
    if (ec) return E_FAIL;
  }
  if (faults.damagedWrite && size != 0) {
    const uint64_t at = std::min(faults.damageAt == kSimHalfway ? size / 2 : faults.damageAt, size - 1);
    std::fstream f(file, std::ios::binary | std::ios::in | std::ios::out);
    char byte = 0;
    f.seekg(static_cast<std::streamoff>(at));
    f.read(&byte, 1);
    byte = static_cast<char>(byte ^ 0xFF);
    f.seekp(static_cast<std::streamoff>(at));
    f.write(&byte, 1);
    f.close();
    if (!f) return E_FAIL;
  }
  return S_OK;
}

// Reads every item of a caller's metadata object through its interface.
HRESULT ReadMetadata(IWMDMMetaData* metadata, std::vector<SimMetadataItem>* items) {
  UINT count = 0;
  HRESULT hr = metadata->GetItemCount(&count);
  if (FAILED(hr)) return hr;
  for (UINT i = 0; i < count; ++i) {
    WCHAR* name = nullptr;
    WMDM_TAG_DATATYPE type = WMDM_TYPE_DWORD;
    BYTE* value = nullptr;
    UINT length = 0;
    hr = metadata->QueryByIndex(i, &name, &type, &value, &length);
    if (SUCCEEDED(hr)) {
      items->push_back({name ? WString(name) : WString(), type,
                        value ? std::vector<BYTE>(value, value + length) : std::vector<BYTE>()});
    }
    CoTaskMemFree(name);
    CoTaskMemFree(value);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

class Storage final : public IWMDMStorage3, public IWMDMStorageControl3, public SimObject {
 public:
  Storage(SimPlayerRef player, size_t storage, fs::path file)
      : player_(std::move(player)), storage_(storage), file_(std::move(file)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IWMDMStorage || riid == IID_IWMDMStorage2 || riid == IID_IWMDMStorage3) {
      *ppv = static_cast<IWMDMStorage3*>(this);
    } else if (riid == IID_IWMDMStorageControl || riid == IID_IWMDMStorageControl2 ||
               riid == IID_IWMDMStorageControl3) {
      *ppv = static_cast<IWMDMStorageControl3*>(this);
    } else {
      return E_NOINTERFACE;
    }
    addRef();
    return S_OK;
  }
  SIM_REFCOUNTING

  // IWMDMStorage
  HRESULT STDMETHODCALLTYPE SetAttributes(DWORD, _WAVEFORMATEX*) override { return WMDM_E_NOTSUPPORTED; }

  HRESULT STDMETHODCALLTYPE GetStorageGlobals(IWMDMStorageGlobals** ppStorageGlobals) override {
    if (ppStorageGlobals == nullptr) return E_INVALIDARG;
    *ppStorageGlobals = nullptr;
    if (!SimStillPresent(player_)) return kSimDeviceGone;
    return SimNewStorageGlobals(player_, storage_, ppStorageGlobals);
  }

  HRESULT STDMETHODCALLTYPE GetAttributes(DWORD*, _WAVEFORMATEX*) override { return WMDM_E_NOTSUPPORTED; }

  HRESULT STDMETHODCALLTYPE GetName(LPWSTR pwszName, UINT nMaxChars) override {
    if (!SimStillPresent(player_)) return kSimDeviceGone;
    const std::string name = file_.empty() ? player_->description.storages[storage_].folder : SimUtf8FromPath(file_);
    return SimCopyText(WidenUtf8(name), pwszName, nMaxChars);
  }

  HRESULT STDMETHODCALLTYPE GetDate(PWMDMDATETIME) override { return WMDM_E_NOTSUPPORTED; }

  HRESULT STDMETHODCALLTYPE GetSize(DWORD* pdwSizeLow, DWORD* pdwSizeHigh) override {
    if (pdwSizeLow == nullptr) return E_INVALIDARG;
    if (!SimStillPresent(player_)) return kSimDeviceGone;
    uint64_t size = 0;
    if (!file_.empty()) {
      std::error_code ec;
      size = fs::file_size(path(), ec);
      if (ec) return E_FAIL;
    }
    *pdwSizeLow = static_cast<DWORD>(size);
    if (pdwSizeHigh != nullptr) *pdwSizeHigh = static_cast<DWORD>(size >> 32);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetRights(PWMDMRIGHTS*, UINT*, BYTE*) override { return WMDM_E_NOTSUPPORTED; }

  HRESULT STDMETHODCALLTYPE EnumStorage(IWMDMEnumStorage** pEnumStorage) override {
    if (pEnumStorage == nullptr) return E_INVALIDARG;
    *pEnumStorage = nullptr;
    if (!SimStillPresent(player_)) return kSimDeviceGone;
    if (!file_.empty()) return WMDM_E_NOTSUPPORTED;
    std::vector<fs::path> names;
    std::error_code ec;
    for (fs::directory_iterator it(path(), ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
      std::error_code e2;
      if (it->is_regular_file(e2) && !IsPartial(it->path().filename())) names.push_back(it->path().filename());
    }
    std::sort(names.begin(), names.end());
    std::vector<StorageEntry> entries;
    for (fs::path& n : names) entries.push_back({storage_, std::move(n)});
    *pEnumStorage = new (std::nothrow) StorageEnum(player_, std::move(entries), 0);
    return *pEnumStorage != nullptr ? S_OK : E_OUTOFMEMORY;
  }

  HRESULT STDMETHODCALLTYPE SendOpaqueCommand(OPAQUECOMMAND*) override { return WMDM_E_NOTSUPPORTED; }

  // IWMDMStorage2
  HRESULT STDMETHODCALLTYPE GetStorage(LPCWSTR pszStorageName, IWMDMStorage** ppStorage) override {
    if (pszStorageName == nullptr || ppStorage == nullptr) return E_INVALIDARG;
    *ppStorage = nullptr;
    if (!SimStillPresent(player_)) return kSimDeviceGone;
    if (!file_.empty()) return WMDM_E_NOTSUPPORTED;
    const std::string name = NarrowToUtf8(WStringView(pszStorageName, WideLength(pszStorageName)));
    std::error_code ec;
    if (!SimCheckFolderName(name, nullptr) || !fs::is_regular_file(path() / SimPathFromUtf8(name), ec)) {
      return E_INVALIDARG;
    }
    return SimNewStorage(player_, storage_, SimPathFromUtf8(name), ppStorage);
  }

  HRESULT STDMETHODCALLTYPE SetAttributes2(DWORD, DWORD, _WAVEFORMATEX*, _VIDEOINFOHEADER*) override {
    return WMDM_E_NOTSUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE GetAttributes2(DWORD*, DWORD*, _WAVEFORMATEX*, _VIDEOINFOHEADER*) override {
    return WMDM_E_NOTSUPPORTED;
  }

  // IWMDMStorage3
  HRESULT STDMETHODCALLTYPE GetMetadata(IWMDMMetaData**) override { return WMDM_E_NOTSUPPORTED; }
  HRESULT STDMETHODCALLTYPE SetMetadata(IWMDMMetaData*) override { return WMDM_E_NOTSUPPORTED; }

  HRESULT STDMETHODCALLTYPE CreateEmptyMetadataObject(IWMDMMetaData** ppMetadata) override {
    if (ppMetadata == nullptr) return E_INVALIDARG;
    *ppMetadata = nullptr;
    if (!SimStillPresent(player_)) return kSimDeviceGone;
    if (SimCurrentFaults().metadataCreateFails) return kSimCallFailed;
    return SimNewMetadata(ppMetadata);
  }

  HRESULT STDMETHODCALLTYPE SetEnumPreference(WMDM_STORAGE_ENUM_MODE*, DWORD, WMDMMetadataView*) override {
    return WMDM_E_NOTSUPPORTED;
  }

  // IWMDMStorageControl
  HRESULT STDMETHODCALLTYPE Insert(UINT fuMode, LPWSTR pwszFile, IWMDMOperation* pOperation, IWMDMProgress* pProgress,
                                   IWMDMStorage** ppNewObject) override {
    return Insert3(fuMode, 0, pwszFile, nullptr, pOperation, pProgress, nullptr, nullptr, ppNewObject);
  }

  HRESULT STDMETHODCALLTYPE Delete(UINT, IWMDMProgress* pProgress) override {
    if (file_.empty()) return WMDM_E_NOTSUPPORTED;  // storage folders stay
    if (!SimStillPresent(player_)) return kSimDeviceGone;
    if (SimCurrentFaults().deleteRefused) return kSimAccessDenied;
    std::error_code ec;
    if (!fs::is_regular_file(path(), ec)) return kSimFileNotFound;
    if (pProgress != nullptr) {
      SimHold(pProgress);
      pProgress->Begin(1);
    }
    const bool removed = fs::remove(path(), ec);
    if (pProgress != nullptr) {
      pProgress->End();
      SimDrop(pProgress);
    }
    return removed ? S_OK : E_FAIL;
  }

  HRESULT STDMETHODCALLTYPE Rename(UINT, LPWSTR, IWMDMProgress*) override { return WMDM_E_NOTSUPPORTED; }

  // Copies the file back to the computer; note that progress comes before
  // the operation object here, unlike in Insert.
  HRESULT STDMETHODCALLTYPE Read(UINT fuMode, LPWSTR pwszFile, IWMDMProgress* pProgress,
                                 IWMDMOperation* pOperation) override {
    if (file_.empty()) return WMDM_E_NOTSUPPORTED;  // a folder is not read as a whole
    if (!SimStillPresent(player_)) return kSimDeviceGone;
    if (pwszFile == nullptr) return E_INVALIDARG;
    // Only whole files copied to the computer, as Insert3 takes them.
    if ((fuMode & WMDM_CONTENT_FILE) == 0 || (fuMode & (WMDM_CONTENT_FOLDER | WMDM_CONTENT_OPERATIONINTERFACE)) != 0 ||
        pOperation != nullptr) {
      return WMDM_E_NOTSUPPORTED;
    }
    if (!SimPlayerReady(*player_) || !SimStorageReady(*player_, storage_)) return kSimNotReady;
    const SimFaults faults = SimCurrentFaults();
    if (faults.readRefused) return WMDM_E_NOTSUPPORTED;
    ProgressObserver observer(faults.chunkDelayMs, pProgress, nullptr);
    return CopyWithProgress(path(), SimPathFromWide(pwszFile), faults.chunkBytes, pProgress, &observer);
  }

  HRESULT STDMETHODCALLTYPE Move(UINT, IWMDMStorage*, IWMDMProgress*) override { return WMDM_E_NOTSUPPORTED; }

  // IWMDMStorageControl2
  HRESULT STDMETHODCALLTYPE Insert2(UINT fuMode, LPWSTR pwszFileSource, LPWSTR pwszFileDest, IWMDMOperation* pOperation,
                                    IWMDMProgress* pProgress, IUnknown* pUnknown, IWMDMStorage** ppNewObject) override {
    return Insert3(fuMode, 0, pwszFileSource, pwszFileDest, pOperation, pProgress, nullptr, pUnknown, ppNewObject);
  }

  // IWMDMStorageControl3
  HRESULT STDMETHODCALLTYPE Insert3(UINT fuMode, UINT fuType, LPWSTR pwszFileSource, LPWSTR pwszFileDest,
                                    IWMDMOperation* pOperation, IWMDMProgress* pProgress, IWMDMMetaData* pMetaData,
                                    IUnknown*, IWMDMStorage** ppNewObject) override {
    if (ppNewObject != nullptr) *ppNewObject = nullptr;
    SimInsertRecord record;
    record.player = player_->id;
    record.storage = player_->description.storages[storage_].folder;
    record.mode = fuMode;
    record.type = fuType;
    if (pwszFileSource != nullptr) record.source = pwszFileSource;
    record.hadOperation = pOperation != nullptr;
    record.hadProgress = pProgress != nullptr;
    record.hadMetadata = pMetaData != nullptr;
    record.result =
        insert(fuMode, pwszFileSource, pwszFileDest, pOperation, pProgress, pMetaData, ppNewObject, &record);
    SimRecordInsert(record);
    return record.result;
  }

 private:
  fs::path path() const {
    const fs::path folder = StoragePath(*player_, storage_);
    return file_.empty() ? folder : folder / file_;
  }

  HRESULT insert(UINT fuMode, LPWSTR source, LPWSTR destination, IWMDMOperation* operation, IWMDMProgress* progress,
                 IWMDMMetaData* metadata, IWMDMStorage** newObject, SimInsertRecord* record) {
    if (!file_.empty()) return WMDM_E_NOTSUPPORTED;  // a file holds no files
    if (!SimStillPresent(player_)) return kSimDeviceGone;
    if (source == nullptr) return E_INVALIDARG;
    // Only whole files copied from the computer: no folders and no data
    // pulled through an operation object.
    if ((fuMode & WMDM_CONTENT_FILE) == 0 || (fuMode & (WMDM_CONTENT_FOLDER | WMDM_CONTENT_OPERATIONINTERFACE)) != 0 ||
        operation != nullptr) {
      return WMDM_E_NOTSUPPORTED;
    }
    if (!SimPlayerReady(*player_) || !SimStorageReady(*player_, storage_)) return kSimNotReady;

    // Without a destination name the file keeps its own.
    std::string name;
    if (destination != nullptr) {
      name = NarrowToUtf8(WStringView(destination, WideLength(destination)));
    } else {
      name = NarrowToUtf8(WStringView(source, WideLength(source)));
      const size_t cut = name.find_last_of("\\/");
      if (cut != std::string::npos) name.erase(0, cut + 1);
    }
    record->destination = WidenUtf8(name);
    // The name must not lead out of the storage folder.
    if (!SimCheckFolderName(name, nullptr)) return E_INVALIDARG;

    if (metadata != nullptr) {
      const HRESULT hr = ReadMetadata(metadata, &record->metadata);
      if (FAILED(hr)) return hr;
    }

    SimFaults faults = SimCurrentFaults();
    // Bounded: a caller of SimSetFaults may have filled the array to the brim.
    const std::string_view failing(faults.insertFailStorage,
                                   strnlen(faults.insertFailStorage, sizeof faults.insertFailStorage));
    if (!failing.empty() && !SameFolderName(failing, player_->description.storages[storage_].folder)) {
      faults.insertFails = false;
    }
    const fs::path folder = StoragePath(*player_, storage_);
    std::error_code ec;
    fs::create_directories(folder, ec);

    InsertObserver observer(*player_, faults, progress, record);
    const fs::path written = folder / SimPathFromUtf8(name);
    HRESULT hr = CopyWithProgress(SimPathFromWide(source), written, faults.chunkBytes, progress, &observer);
    if (SUCCEEDED(hr)) hr = SpoilWrittenFile(written, faults);

    if (SUCCEEDED(hr) && newObject != nullptr) hr = SimNewStorage(player_, storage_, SimPathFromUtf8(name), newObject);
    return hr;
  }

  const SimPlayerRef player_;
  const size_t storage_;
  const fs::path file_;  // empty for the storage folder itself
};

}  // namespace

HRESULT SimNewStorageEnum(SimPlayerRef player, IWMDMEnumStorage** out) {
  std::vector<StorageEntry> entries;
  for (size_t i = 0; i < player->description.storages.size(); ++i) entries.push_back({i, {}});
  *out = new (std::nothrow) StorageEnum(std::move(player), std::move(entries), 0);
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT SimNewStorage(SimPlayerRef player, size_t storage, const fs::path& file, IWMDMStorage** out) {
  Storage* s = new (std::nothrow) Storage(std::move(player), storage, file);
  *out = static_cast<IWMDMStorage3*>(s);
  return s != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT SimNewStorageGlobals(SimPlayerRef player, size_t storage, IWMDMStorageGlobals** out) {
  *out = new (std::nothrow) Globals(std::move(player), storage);
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}
