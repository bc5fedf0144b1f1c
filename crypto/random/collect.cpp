#include <cstring>

#include "crypto/random/gather.h"
#include "crypto/random/wipe.h"

namespace {

// Appends items to the collection buffer while they fit.
class Collector {
 public:
  explicit Collector(BYTE* pb) : pb_(pb) {}

  DWORD used() const { return cbUsed_; }
  bool full() const { return fFull_; }
  DWORD left() const { return fFull_ || Aligned() > COLLECT_LEN ? 0 : COLLECT_LEN - Aligned(); }

  // Where an item of cb bytes goes, or null (and the collection ends) when
  // it does not fit.
  BYTE* Reserve(DWORD cb) {
    if (fFull_ || cb > left()) {
      fFull_ = true;
      return nullptr;
    }
    return pb_ + Aligned();
  }
  void Commit(DWORD cb) { cbUsed_ = Aligned() + cb; }

  void Add(const void* pv, DWORD cb) {
    if (BYTE* pbDest = Reserve(cb)) {
      std::memcpy(pbDest, pv, cb);
      Commit(cb);
    }
  }

 private:
  DWORD Aligned() const { return (cbUsed_ + 3) & ~3u; }

  BYTE* pb_;
  DWORD cbUsed_ = 0;
  bool fFull_ = false;
};

struct QueryItem {
  DWORD dwClass;
  DWORD cbOffered;  // 0: all that is left
};

const QueryItem kQueries[] = {{8, 48}, {2, 312}, {0x21, 16}, {0x2d, 32}, {0x17, 0}, {5, 0}};

void TakeName(DWORD (*pfn)(BYTE*), BYTE* pbCache, DWORD cbMax, DWORD* pcb, bool* pfTaken) {
  if (*pfTaken || pfn == nullptr) return;
  DWORD cb = pfn(pbCache);
  if (cb == 0) return;  // asked again next time
  *pcb = cb < cbMax ? cb : cbMax;
  *pfTaken = true;
}

}  // namespace

DWORD CollectEntropy(const RandomSources* pSources, NameCache* pNames, const BYTE rgbPool[POOL_SIZE],
                     BYTE rgbBuffer[COLLECT_LEN]) {
  std::memset(rgbBuffer, 0, COLLECT_LEN);
  Collector c(rgbBuffer);
  const RandomSources& s = *pSources;
  c.Add(rgbPool, POOL_SIZE);
  if (s.pfnProcessId != nullptr) {
    DWORD v = s.pfnProcessId();
    c.Add(&v, 4);
  }
  if (s.pfnThreadId != nullptr) {
    DWORD v = s.pfnThreadId();
    c.Add(&v, 4);
  }
  if (s.pfnTickCount != nullptr) {
    DWORD v = s.pfnTickCount();
    c.Add(&v, 4);
  }
  BYTE rgbItem[32];
  if (s.pfnLocalTime != nullptr) {
    s.pfnLocalTime(rgbItem);
    c.Add(rgbItem, 16);
  }
  if (s.pfnPerformanceCounter != nullptr) {
    s.pfnPerformanceCounter(rgbItem);
    c.Add(rgbItem, 8);
  }
  if (s.pfnMemoryStatus != nullptr) {
    s.pfnMemoryStatus(rgbItem);
    c.Add(rgbItem, 32);
  }
  if (s.pfnDiskFreeSpace != nullptr && s.pfnDiskFreeSpace(rgbItem)) c.Add(rgbItem, 16);
  TakeName(s.pfnComputerName, pNames->rgbComputer, COMPUTER_NAME_LEN, &pNames->cbComputer, &pNames->fComputer);
  if (pNames->fComputer) c.Add(pNames->rgbComputer, pNames->cbComputer);
  TakeName(s.pfnUserName, pNames->rgbUser, USER_NAME_LEN, &pNames->cbUser, &pNames->fUser);
  if (pNames->fUser) c.Add(pNames->rgbUser, pNames->cbUser);

  if (s.pfnSystemQuery != nullptr) {
    for (const QueryItem& q : kQueries) {
      DWORD cbOffer = q.cbOffered != 0 ? q.cbOffered : c.left();
      BYTE* pbDest = c.Reserve(cbOffer == 0 ? 1 : cbOffer);
      if (pbDest == nullptr) break;
      DWORD cbReturned = 0;
      if (!s.pfnSystemQuery(q.dwClass, pbDest, cbOffer, &cbReturned)) cbReturned = 0;
      if (cbReturned > cbOffer) cbReturned = cbOffer;
      // Whatever a query wrote beyond the length it reports (or wrote before
      // failing) must not turn up in the padding or under the next item.
      std::memset(pbDest + cbReturned, 0, cbOffer - cbReturned);
      if (cbReturned != 0) c.Commit(cbReturned);
    }
  } else {
    if (s.pfnCursorPos != nullptr && c.Reserve(8) != nullptr && s.pfnCursorPos(rgbItem)) c.Add(rgbItem, 8);
    if (s.pfnMessageTime != nullptr && c.Reserve(4) != nullptr && s.pfnMessageTime(rgbItem)) c.Add(rgbItem, 4);
  }
  SecureWipe(rgbItem, sizeof(rgbItem));
  return c.used();
}
